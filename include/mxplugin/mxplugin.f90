! mxplugin for Fortran hosts: the 42 Morvex_ functions of mxplugin.h as
! interoperable interfaces under their C names, the input record as an
! interoperable derived type, and a few helpers a Fortran host needs around
! them (C strings, UTF-16 strings, property lists, evaluation of a block of
! contact points).
!
! Shipped as source: compile it with the host (.mod files belong to one
! compiler and version). Fortran 2003 with ISO_C_BINDING.
!
! C to Fortran:
!   MorvexModule*           type(c_ptr)            (null: c_null_ptr)
!   MorvexModule**          type(c_ptr)            (by reference)
!   uint32_t                integer(c_int32_t)     (same bits; ids above
!                                                   2**31-1 read as negative)
!   uint64_t                integer(c_int64_t)
!   double                  real(c_double)
!   MorvexInputRecord       type(MorvexInputRecord), value, where C passes
!                           it by value (every evaluation function)
!   const uint16_t*         type(c_ptr)  (mx_utf16_to_utf8, mx_utf16_units)
!   const MorvexProperty*   type(c_ptr)  (mx_get_property)
!   const double* (limits)  type(c_ptr), value  (c_loc(x) or c_null_ptr)
!
! Out-parameters are intent(inout): the library writes them on success only,
! so after a failed call they hold what they held before.
module mxplugin
  use, intrinsic :: iso_c_binding
  implicit none
  private

  ! ---- Types and constants ------------------------------------------------

  ! The contact state of one evaluation; 88 bytes, the C layout.
  type, bind(C), public :: MorvexInputRecord
    real(c_double) :: pressure = 0.0_c_double
    real(c_double) :: strain = 0.0_c_double
    real(c_double) :: sheetTemperature = 0.0_c_double
    real(c_double) :: toolTemperature = 0.0_c_double
    real(c_double) :: velocity = 0.0_c_double
    real(c_double) :: directionCosine = 0.0_c_double
    real(c_double) :: stateValue = 0.0_c_double
    real(c_double) :: sheetRoughness = 0.0_c_double
    real(c_double) :: lubricationAmount = 0.0_c_double
    real(c_double) :: toolRoughness = 0.0_c_double
    integer(c_int32_t) :: useDirectionDependency = 0
    integer(c_int32_t) :: temperatureMode = 0
  end type MorvexInputRecord

  ! One key/value pair of a property list, both NUL-terminated UTF-16.
  type, bind(C), public :: MorvexProperty
    type(c_ptr) :: key = c_null_ptr
    type(c_ptr) :: value = c_null_ptr
  end type MorvexProperty

  integer(c_int32_t), parameter, public :: &
    MORVEX_PACKAGE_SURFACE_ROUGHNESS = 0, &
    MORVEX_PACKAGE_REAL_CONTACT_AREA = 4, &
    MORVEX_PACKAGE_LUBRICATION_AMOUNT = 5, &
    MORVEX_PACKAGE_HEAT_TRANSFER = 6, &
    MORVEX_PACKAGE_SPOT_LUBRICATION = 7, &
    MORVEX_PACKAGE_GALLING = 8, &
    MORVEX_PACKAGE_WEAR = 9, &
    MORVEX_PACKAGE_PRODUCTION_FIRST = 10, &
    MORVEX_PACKAGE_PRODUCTION_SECOND = 11

  ! Queries of mx_evaluate_block.
  integer, parameter, public :: &
    MX_PACKAGE_VALUE = 1, &
    MX_PACKAGE_AVERAGE = 2, &
    MX_SURFACE_ROUGHNESS = 3, &
    MX_REAL_CONTACT_AREA = 4, &
    MX_HISTORY_PARAMETER = 5, &
    MX_LUBRICATION_AMOUNT = 6, &
    MX_SPOT_LUBE_INDICATOR = 7, &
    MX_GALLING_INDICATOR = 8, &
    MX_WEAR_INDICATOR = 9, &
    MX_PRODUCTION_VOLUME = 10, &
    MX_HEAT_TRANSFER_COEFFICIENT = 11

  public :: Morvex_LoadFile, Morvex_SerializeModule, Morvex_FreeBlob, &
            Morvex_DeserializeModule, Morvex_PrepareSolverData, &
            Morvex_DeserializeAndPrepareSolverData, Morvex_FreeModule, &
            Morvex_SetNodalInput, Morvex_SetSystemInput, &
            Morvex_GetPressureRange, Morvex_GetStrainRange, &
            Morvex_GetTemperatureRange, Morvex_GetVelocityRange, &
            Morvex_GetSheetRoughnessRange, Morvex_GetLubricationAmountRange, &
            Morvex_GetToolRoughnessRange, Morvex_GetNominalSheetRoughness, &
            Morvex_GetNominalLubricationAmount, Morvex_GetNominalToolRoughness, &
            Morvex_GetStrainRougheningStatus, Morvex_GetStaticFrictionStatus, &
            Morvex_GetToolWearStatus, Morvex_GetDirectionDependencyStatus, &
            Morvex_GetHeatTransferCoefficientStatus, Morvex_GetIsToolTempEqual, &
            Morvex_GetSolverID, Morvex_GetWorkpieceProperties, &
            Morvex_GetLubricantProperties, Morvex_GetToolingProperties, &
            Morvex_CheckPackageAvailability, &
            Morvex_CheckProductionPackageAvailability, Morvex_GetPackageValue, &
            Morvex_GetPackageAverage, Morvex_GetSurfaceRoughness, &
            Morvex_GetRealContactArea, Morvex_GetHistoryParameter, &
            Morvex_GetLubricationAmount, Morvex_GetSpotLubeIndicator, &
            Morvex_GetGallingIndicator, Morvex_GetWearIndicator, &
            Morvex_GetProductionVolume, Morvex_GetHeatTransferCoefficient

  integer(c_int8_t), target, save :: noBytes(0)

  public :: mx_c_string, mx_utf16_units, mx_utf16_to_utf8, mx_get_property, &
            mx_blob_bytes, mx_evaluate_block

  ! ---- The 42 functions ---------------------------------------------------

  interface
    ! Life cycle. `path` must end in c_null_char (mx_c_string).
    function Morvex_LoadFile(path, module) bind(C, name="Morvex_LoadFile") result(rc)
      import :: c_char, c_ptr, c_int32_t
      character(kind=c_char), dimension(*), intent(in) :: path
      type(c_ptr), intent(inout) :: module
      integer(c_int32_t) :: rc
    end function

    function Morvex_SerializeModule(module, blob, length) &
        bind(C, name="Morvex_SerializeModule") result(rc)
      import :: c_ptr, c_int32_t, c_int64_t
      type(c_ptr), value :: module
      type(c_ptr), intent(inout) :: blob
      integer(c_int64_t), intent(inout) :: length
      integer(c_int32_t) :: rc
    end function

    subroutine Morvex_FreeBlob(blob) bind(C, name="Morvex_FreeBlob")
      import :: c_ptr
      type(c_ptr), intent(inout) :: blob
    end subroutine

    function Morvex_DeserializeModule(data, length, module) &
        bind(C, name="Morvex_DeserializeModule") result(rc)
      import :: c_ptr, c_int8_t, c_int32_t
      integer(c_int8_t), dimension(*), intent(in) :: data
      integer(c_int32_t), value :: length
      type(c_ptr), intent(inout) :: module
      integer(c_int32_t) :: rc
    end function

    function Morvex_PrepareSolverData(module) bind(C, name="Morvex_PrepareSolverData") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), intent(inout) :: module
      integer(c_int32_t) :: rc
    end function

    function Morvex_DeserializeAndPrepareSolverData(data, length, module) &
        bind(C, name="Morvex_DeserializeAndPrepareSolverData") result(rc)
      import :: c_ptr, c_int8_t, c_int32_t
      integer(c_int8_t), dimension(*), intent(in) :: data
      integer(c_int32_t), value :: length
      type(c_ptr), intent(inout) :: module
      integer(c_int32_t) :: rc
    end function

    subroutine Morvex_FreeModule(module) bind(C, name="Morvex_FreeModule")
      import :: c_ptr
      type(c_ptr), value :: module
    end subroutine

    ! Input setters.
    function Morvex_SetNodalInput(record, pressure, strain, sheetTemperature, &
        toolTemperature, velocity, directionCosine, stateValue) &
        bind(C, name="Morvex_SetNodalInput") result(rc)
      import :: MorvexInputRecord, c_double, c_int32_t
      type(MorvexInputRecord), intent(inout) :: record
      real(c_double), value :: pressure, strain, sheetTemperature, toolTemperature, &
                               velocity, directionCosine, stateValue
      integer(c_int32_t) :: rc
    end function

    function Morvex_SetSystemInput(record, useDirectionDependency, sheetRoughness, &
        lubricationAmount, toolRoughness, temperatureMode) &
        bind(C, name="Morvex_SetSystemInput") result(rc)
      import :: MorvexInputRecord, c_double, c_int32_t
      type(MorvexInputRecord), intent(inout) :: record
      integer(c_int32_t), value :: useDirectionDependency
      real(c_double), value :: sheetRoughness, lubricationAmount, toolRoughness
      integer(c_int32_t), value :: temperatureMode
      integer(c_int32_t) :: rc
    end function

    ! Ranges and nominal values.
    function Morvex_GetPressureRange(module, min, max) &
        bind(C, name="Morvex_GetPressureRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetStrainRange(module, min, max) &
        bind(C, name="Morvex_GetStrainRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetTemperatureRange(module, min, max) &
        bind(C, name="Morvex_GetTemperatureRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetVelocityRange(module, min, max) &
        bind(C, name="Morvex_GetVelocityRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetSheetRoughnessRange(module, min, max) &
        bind(C, name="Morvex_GetSheetRoughnessRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetLubricationAmountRange(module, min, max) &
        bind(C, name="Morvex_GetLubricationAmountRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetToolRoughnessRange(module, min, max) &
        bind(C, name="Morvex_GetToolRoughnessRange") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: min, max
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetNominalSheetRoughness(module, value) &
        bind(C, name="Morvex_GetNominalSheetRoughness") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: value
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetNominalLubricationAmount(module, value) &
        bind(C, name="Morvex_GetNominalLubricationAmount") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: value
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetNominalToolRoughness(module, value) &
        bind(C, name="Morvex_GetNominalToolRoughness") result(rc)
      import :: c_ptr, c_double, c_int32_t
      type(c_ptr), value :: module
      real(c_double), intent(inout) :: value
      integer(c_int32_t) :: rc
    end function

    ! Status words.
    function Morvex_GetStrainRougheningStatus(module, status) &
        bind(C, name="Morvex_GetStrainRougheningStatus") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: status
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetStaticFrictionStatus(module, status) &
        bind(C, name="Morvex_GetStaticFrictionStatus") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: status
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetToolWearStatus(module, status) &
        bind(C, name="Morvex_GetToolWearStatus") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: status
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetDirectionDependencyStatus(module, status) &
        bind(C, name="Morvex_GetDirectionDependencyStatus") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: status
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetHeatTransferCoefficientStatus(module, status) &
        bind(C, name="Morvex_GetHeatTransferCoefficientStatus") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: status
      integer(c_int32_t) :: rc
    end function

    ! Reads nothing and leaves `equal` unchanged.
    function Morvex_GetIsToolTempEqual(module, equal) &
        bind(C, name="Morvex_GetIsToolTempEqual") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: equal
      integer(c_int32_t) :: rc
    end function

    ! Solver id and property lists: borrowed until Morvex_FreeModule.
    function Morvex_GetSolverID(module, solverId) bind(C, name="Morvex_GetSolverID") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      type(c_ptr), intent(inout) :: solverId
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetWorkpieceProperties(module, properties, count) &
        bind(C, name="Morvex_GetWorkpieceProperties") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      type(c_ptr), intent(inout) :: properties
      integer(c_int32_t), intent(inout) :: count
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetLubricantProperties(module, properties, count) &
        bind(C, name="Morvex_GetLubricantProperties") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      type(c_ptr), intent(inout) :: properties
      integer(c_int32_t), intent(inout) :: count
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetToolingProperties(module, properties, count) &
        bind(C, name="Morvex_GetToolingProperties") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      type(c_ptr), intent(inout) :: properties
      integer(c_int32_t), intent(inout) :: count
      integer(c_int32_t) :: rc
    end function

    ! Packages and friction quantities.
    function Morvex_CheckPackageAvailability(module, packageId, available) &
        bind(C, name="Morvex_CheckPackageAvailability") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), value :: packageId
      integer(c_int32_t), intent(inout) :: available
      integer(c_int32_t) :: rc
    end function

    function Morvex_CheckProductionPackageAvailability(module, available) &
        bind(C, name="Morvex_CheckProductionPackageAvailability") result(rc)
      import :: c_ptr, c_int32_t
      type(c_ptr), value :: module
      integer(c_int32_t), intent(inout) :: available
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetPackageValue(module, input, packageId, value) &
        bind(C, name="Morvex_GetPackageValue") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      integer(c_int32_t), value :: packageId
      real(c_double), intent(inout) :: value
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetPackageAverage(module, input, packageId, value) &
        bind(C, name="Morvex_GetPackageAverage") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      integer(c_int32_t), value :: packageId
      real(c_double), intent(inout) :: value
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetSurfaceRoughness(module, input, upperBound, result) &
        bind(C, name="Morvex_GetSurfaceRoughness") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: upperBound
      real(c_double), intent(inout) :: result
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetRealContactArea(module, input, previous, result) &
        bind(C, name="Morvex_GetRealContactArea") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: previous
      real(c_double), intent(inout) :: result
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetHistoryParameter(module, input, previous, result) &
        bind(C, name="Morvex_GetHistoryParameter") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: previous
      real(c_double), intent(inout) :: result
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetLubricationAmount(module, input, upperBound, cappedAmount, amount) &
        bind(C, name="Morvex_GetLubricationAmount") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: upperBound
      real(c_double), intent(inout) :: cappedAmount, amount
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetSpotLubeIndicator(module, input, upperBound, result) &
        bind(C, name="Morvex_GetSpotLubeIndicator") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: upperBound
      real(c_double), intent(inout) :: result
      integer(c_int32_t) :: rc
    end function

    ! `reserved` is not read.
    function Morvex_GetGallingIndicator(module, input, scale, reserved, accumulator) &
        bind(C, name="Morvex_GetGallingIndicator") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: scale, reserved
      real(c_double), intent(inout) :: accumulator
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetWearIndicator(module, input, scale, reserved, accumulator) &
        bind(C, name="Morvex_GetWearIndicator") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: scale, reserved
      real(c_double), intent(inout) :: accumulator
      integer(c_int32_t) :: rc
    end function

    ! The limits are addresses: c_loc of a target variable, or c_null_ptr.
    function Morvex_GetProductionVolume(module, input, firstLimit, secondLimit, result) &
        bind(C, name="Morvex_GetProductionVolume") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      type(c_ptr), value :: firstLimit, secondLimit
      real(c_double), intent(inout) :: result
      integer(c_int32_t) :: rc
    end function

    function Morvex_GetHeatTransferCoefficient(module, input, divisorValue, value) &
        bind(C, name="Morvex_GetHeatTransferCoefficient") result(rc)
      import :: c_ptr, c_double, c_int32_t, MorvexInputRecord
      type(c_ptr), value :: module
      type(MorvexInputRecord), value :: input
      real(c_double), value :: divisorValue
      real(c_double), intent(inout) :: value
      integer(c_int32_t) :: rc
    end function
  end interface

contains

  ! `text` without trailing blanks, NUL-terminated: a path for Morvex_LoadFile.
  function mx_c_string(text) result(c)
    character(len=*), intent(in) :: text
    character(kind=c_char, len=len_trim(text) + 1) :: c
    c = trim(text) // c_null_char
  end function

  ! The number of code units before the terminator (0 for a null pointer).
  function utf16_length(string) result(n)
    type(c_ptr), intent(in) :: string
    integer :: n
    integer(c_int16_t), pointer :: all(:)
    n = 0
    if (.not. c_associated(string)) return
    ! Read up to the terminator only; the bound just makes the array addressable.
    call c_f_pointer(string, all, [huge(n)])
    do while (all(n + 1) /= 0)
      n = n + 1
    end do
  end function

  ! The code units of a NUL-terminated UTF-16 string (none for a null pointer).
  function mx_utf16_units(string) result(units)
    type(c_ptr), intent(in) :: string
    integer(c_int16_t), allocatable :: units(:)
    integer(c_int16_t), pointer :: view(:)
    integer :: n
    n = utf16_length(string)
    allocate(units(n))
    if (n == 0) return
    call c_f_pointer(string, view, [n])
    units = view
  end function

  ! A NUL-terminated UTF-16 string as UTF-8 (an unpaired surrogate becomes
  ! U+FFFD). A null pointer gives an empty string.
  function mx_utf16_to_utf8(string) result(text)
    type(c_ptr), intent(in) :: string
    character(len=:), allocatable :: text
    integer(c_int16_t), pointer :: units(:)
    character(len=4) :: encoded
    integer :: i, code, low, n, count
    text = ''
    count = utf16_length(string)
    if (count == 0) return
    call c_f_pointer(string, units, [count])
    i = 1
    do while (i <= count)
      code = iand(int(units(i)), 65535)
      i = i + 1
      if (code >= 55296 .and. code <= 56319 .and. i <= count) then
        low = iand(int(units(i)), 65535)
        if (low >= 56320 .and. low <= 57343) then
          code = 65536 + (code - 55296) * 1024 + (low - 56320)
          i = i + 1
        end if
      end if
      if (code >= 55296 .and. code <= 57343) code = 65533
      call encode_utf8(code, encoded, n)
      text = text // encoded(1:n)
    end do
  end function

  subroutine encode_utf8(code, bytes, n)
    integer, intent(in) :: code
    character(len=4), intent(out) :: bytes
    integer, intent(out) :: n
    bytes = ''
    if (code < 128) then
      n = 1
      bytes(1:1) = char(code)
    else if (code < 2048) then
      n = 2
      bytes(1:1) = char(192 + code / 64)
      bytes(2:2) = char(128 + iand(code, 63))
    else if (code < 65536) then
      n = 3
      bytes(1:1) = char(224 + code / 4096)
      bytes(2:2) = char(128 + iand(code / 64, 63))
      bytes(3:3) = char(128 + iand(code, 63))
    else
      n = 4
      bytes(1:1) = char(240 + code / 262144)
      bytes(2:2) = char(128 + iand(code / 4096, 63))
      bytes(3:3) = char(128 + iand(code / 64, 63))
      bytes(4:4) = char(128 + iand(code, 63))
    end if
  end subroutine

  ! Key and value (UTF-8) of entry `index` (1-based) of a property list that a
  ! property getter returned with its count.
  subroutine mx_get_property(list, count, index, key, value)
    type(c_ptr), intent(in) :: list
    integer(c_int32_t), intent(in) :: count
    integer, intent(in) :: index
    character(len=:), allocatable, intent(out) :: key, value
    type(MorvexProperty), pointer :: entries(:)
    key = ''
    value = ''
    if (.not. c_associated(list) .or. index < 1 .or. index > count) return
    call c_f_pointer(list, entries, [count])
    key = mx_utf16_to_utf8(entries(index)%key)
    value = mx_utf16_to_utf8(entries(index)%value)
  end subroutine

  ! The bytes of a blob from Morvex_SerializeModule, without copying them: a
  ! view that is valid until Morvex_FreeBlob. Copy it to store it; hand it to
  ! Morvex_DeserializeAndPrepareSolverData as it is.
  function mx_blob_bytes(blob, length) result(bytes)
    type(c_ptr), intent(in) :: blob
    integer(c_int64_t), intent(in) :: length
    integer(c_int8_t), pointer :: bytes(:)
    if (.not. c_associated(blob) .or. length <= 0) then
      bytes => noBytes
    else
      call c_f_pointer(blob, bytes, [length])
    end if
  end function

  ! One query for a block of contact points, as hosts that hand over nBlock
  ! points at once need. Returns how many points failed.
  !
  !   values(i)   the result at point i; written on success only, so a failed
  !               point keeps what it held. For MX_REAL_CONTACT_AREA and
  !               MX_HISTORY_PARAMETER it holds the previous value on entry,
  !               for MX_GALLING_INDICATOR and MX_WEAR_INDICATOR the
  !               accumulator.
  !   package_id  MX_PACKAGE_VALUE, MX_PACKAGE_AVERAGE: the package (without
  !               it, or for an unknown query, every point fails uncalled).
  !   argument    upper bound (surface roughness, lubrication amount, spot
  !               lubrication; default no bound), scale (galling, wear;
  !               default 1) or divisor value (heat transfer; default 0).
  !   capped      MX_LUBRICATION_AMOUNT: the amount capped at the input's
  !               lubrication amount (values gets the uncapped one).
  !   first_limit, second_limit   MX_PRODUCTION_VOLUME; absent drops out.
  !   rc          the result of every call (1 or 0).
  !
  ! It only reads the module, so threads may each evaluate their own block.
  function mx_evaluate_block(module, query, inputs, values, package_id, argument, capped, &
                             first_limit, second_limit, rc) result(failures)
    type(c_ptr), intent(in) :: module
    integer, intent(in) :: query
    type(MorvexInputRecord), intent(in) :: inputs(:)
    real(c_double), intent(inout) :: values(:)
    integer(c_int32_t), intent(in), optional :: package_id
    real(c_double), intent(in), optional :: argument
    real(c_double), intent(inout), optional :: capped(:)
    real(c_double), intent(in), optional, target :: first_limit, second_limit
    integer(c_int32_t), intent(out), optional :: rc(:)
    integer :: failures
    type(c_ptr) :: first, second
    real(c_double) :: a, unusedCapped
    integer(c_int32_t) :: id, r
    integer :: i

    a = block_argument(query, argument)
    id = 0
    if (present(package_id)) id = package_id
    failures = size(inputs)
    if (present(rc)) rc = 0
    if (query < MX_PACKAGE_VALUE .or. query > MX_HEAT_TRANSFER_COEFFICIENT) return
    if (query <= MX_PACKAGE_AVERAGE .and. .not. present(package_id)) return
    first = c_null_ptr
    second = c_null_ptr
    if (present(first_limit)) first = c_loc(first_limit)
    if (present(second_limit)) second = c_loc(second_limit)

    failures = 0
    do i = 1, size(inputs)
      select case (query)
      case (MX_PACKAGE_VALUE)
        r = Morvex_GetPackageValue(module, inputs(i), id, values(i))
      case (MX_PACKAGE_AVERAGE)
        r = Morvex_GetPackageAverage(module, inputs(i), id, values(i))
      case (MX_SURFACE_ROUGHNESS)
        r = Morvex_GetSurfaceRoughness(module, inputs(i), a, values(i))
      case (MX_REAL_CONTACT_AREA)
        r = Morvex_GetRealContactArea(module, inputs(i), values(i), values(i))
      case (MX_HISTORY_PARAMETER)
        r = Morvex_GetHistoryParameter(module, inputs(i), values(i), values(i))
      case (MX_LUBRICATION_AMOUNT)
        if (present(capped)) then
          r = Morvex_GetLubricationAmount(module, inputs(i), a, capped(i), values(i))
        else
          unusedCapped = 0.0_c_double
          r = Morvex_GetLubricationAmount(module, inputs(i), a, unusedCapped, values(i))
        end if
      case (MX_SPOT_LUBE_INDICATOR)
        r = Morvex_GetSpotLubeIndicator(module, inputs(i), a, values(i))
      case (MX_GALLING_INDICATOR)
        r = Morvex_GetGallingIndicator(module, inputs(i), a, 0.0_c_double, values(i))
      case (MX_WEAR_INDICATOR)
        r = Morvex_GetWearIndicator(module, inputs(i), a, 0.0_c_double, values(i))
      case (MX_PRODUCTION_VOLUME)
        r = Morvex_GetProductionVolume(module, inputs(i), first, second, values(i))
      case default
        r = Morvex_GetHeatTransferCoefficient(module, inputs(i), a, values(i))
      end select
      if (r == 0) failures = failures + 1
      if (present(rc)) rc(i) = r
    end do
  end function

  ! The scalar argument of a block query, or its default.
  pure function block_argument(query, argument) result(a)
    integer, intent(in) :: query
    real(c_double), intent(in), optional :: argument
    real(c_double) :: a
    if (present(argument)) then
      a = argument
    else if (query == MX_GALLING_INDICATOR .or. query == MX_WEAR_INDICATOR) then
      a = 1.0_c_double
    else if (query == MX_HEAT_TRANSFER_COEFFICIENT) then
      a = 0.0_c_double
    else
      a = huge(a)
    end if
  end function
end module mxplugin
