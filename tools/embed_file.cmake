# Writes OUTPUT, a C++ source defining the bytes of INPUT as
# mx::tool::kDemoMaterialJson / kDemoMaterialJsonSize.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n#include <cstdint>\n"
  "namespace mx::tool {\n"
  "extern const uint8_t kDemoMaterialJson[];\n"
  "extern const size_t kDemoMaterialJsonSize;\n"
  "const uint8_t kDemoMaterialJson[] = {\n${bytes}0};\n"
  "const size_t kDemoMaterialJsonSize = ${size};\n"
  "}  // namespace mx::tool\n")
