# MD5 and AES-128-CBC come from the platform: bcrypt on Windows, OpenSSL's
# libcrypto elsewhere. Each back end is one source file, src/io/crypto_<name>.cpp.
add_library(mx_crypto_backend INTERFACE)
if(WIN32)
  target_link_libraries(mx_crypto_backend INTERFACE bcrypt)
else()
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  target_link_libraries(mx_crypto_backend INTERFACE OpenSSL::Crypto)
endif()
