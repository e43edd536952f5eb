! The example host of host.c, written in Fortran against the mxplugin module:
! it runs the pre-processor road (load a data file, read ranges, properties
! and availability, serialize) and the solver road (deserialize and prepare,
! evaluate every query on a fixed set of contact states) and prints every
! result as hexadecimal bit patterns, line for line what host.c prints, so
! that the outputs of both hosts and of both platforms can be compared byte
! for byte.
!
!   mx_host_fortran DATAFILE
!   mx_host_fortran --blob FILE   (a stored module record stands in for the
!                                  data file)
!
! It links the plug-in when it is built, so every function is resolved when
! it starts; "resolved 42 of 42" counts the addresses the loader bound.
program mx_host_fortran
  use, intrinsic :: iso_c_binding
  use, intrinsic :: iso_fortran_env, only: output_unit, error_unit
  use mxplugin
  implicit none

  ! Out-parameters start from a recognisable pattern: a call that fails must
  ! leave it, and every build must agree that it did.
  real(c_double), parameter :: kUnset = -7.25_c_double
  integer(c_int32_t), parameter :: kUnsetStatus = int(z'A5A5A5A5', c_int32_t)

  character(len=:), allocatable :: input
  logical :: isBlob
  type(c_ptr) :: module, blob
  integer(c_int64_t) :: length

  call parseArguments(input, isBlob)
  call say('resolved ' // decimal(resolvedCount()) // ' of 42')
  call newline()

  module = openModule(input, isBlob)
  if (c_associated(module)) then
    call describeModule(module)
    if (serialize(module, 'serialize', blob, length)) then
      call solverRoad(blob, length)
      call Morvex_FreeBlob(blob)
    end if
  end if
  call Morvex_FreeModule(module)
  call Morvex_FreeModule(c_null_ptr)

contains

  ! ---- Output: '\n' line ends on every platform ---------------------------

  ! Every line is one open record of standard output, and its end is a
  ! character in it: ending records would give '\r\n' on Windows.
  subroutine say(text)
    character(len=*), intent(in) :: text
    write(output_unit, '(a)', advance='no') text
  end subroutine

  subroutine newline()
    call say(achar(10))
  end subroutine

  function hex(v, digits) result(text)
    integer(c_int64_t), intent(in) :: v
    integer, intent(in) :: digits
    character(len=digits) :: text
    character(len=16), parameter :: kDigits = '0123456789abcdef'
    integer :: i, d
    do i = 1, digits
      d = int(ibits(v, 4 * (digits - i), 4))
      text(i:i) = kDigits(d + 1:d + 1)
    end do
  end function

  function decimal(v) result(text)
    integer, intent(in) :: v
    character(len=:), allocatable :: text
    character(len=12) :: buffer
    write(buffer, '(i0)') v
    text = trim(buffer)
  end function

  subroutine printU64(v)
    integer(c_int64_t), intent(in) :: v
    call say(' ' // hex(v, 16))
  end subroutine

  subroutine printF64(v)
    real(c_double), intent(in) :: v
    call printU64(transfer(v, 0_c_int64_t))
  end subroutine

  subroutine printU32(v)
    integer(c_int32_t), intent(in) :: v
    call say(' ' // hex(int(v, c_int64_t), 8))
  end subroutine

  ! "name rc" opens every result line; the values follow.
  subroutine beginLine(name, rc)
    character(len=*), intent(in) :: name
    integer(c_int32_t), intent(in) :: rc
    call say(name)
    call printU32(rc)
  end subroutine

  subroutine printUtf16(s)
    type(c_ptr), intent(in) :: s
    integer(c_int16_t), allocatable :: units(:)
    integer :: i
    if (.not. c_associated(s)) then
      call say(' null')
      return
    end if
    units = mx_utf16_units(s)
    call say(' [')
    do i = 1, size(units)
      call say(hex(int(units(i), c_int64_t), 4))
    end do
    call say(']')
  end subroutine

  integer(c_int32_t) function flag(condition)
    logical, intent(in) :: condition
    flag = merge(1_c_int32_t, 0_c_int32_t, condition)
  end function

  ! FNV-1a over a blob, in two 32-bit halves so that no signed arithmetic
  ! overflows: h * (2**40 + 435) mod 2**64.
  function checksum(bytes) result(h)
    integer(c_int8_t), intent(in) :: bytes(:)
    integer(c_int64_t) :: h
    integer(c_int64_t), parameter :: mask = int(z'FFFFFFFF', c_int64_t)
    integer(c_int64_t) :: hi, lo, plo, phi
    integer :: i
    hi = int(z'CBF29CE4', c_int64_t)
    lo = int(z'84222325', c_int64_t)
    do i = 1, size(bytes)
      lo = ieor(lo, iand(int(bytes(i), c_int64_t), 255_c_int64_t))
      plo = lo * 435
      phi = hi * 435 + ishft(plo, -32) + ishft(lo, 8)
      lo = iand(plo, mask)
      hi = iand(phi, mask)
    end do
    h = ior(ishft(hi, 32), lo)
  end function

  ! ---- Pre-processor road ------------------------------------------------

  subroutine printRange(name, rc, lo, hi)
    character(len=*), intent(in) :: name
    integer(c_int32_t), intent(in) :: rc
    real(c_double), intent(in) :: lo, hi
    call beginLine(name, rc)
    call printF64(lo)
    call printF64(hi)
    call newline()
  end subroutine

  subroutine printValue(name, rc, v)
    character(len=*), intent(in) :: name
    integer(c_int32_t), intent(in) :: rc
    real(c_double), intent(in) :: v
    call beginLine(name, rc)
    call printF64(v)
    call newline()
  end subroutine

  subroutine printStatus(name, rc, s)
    character(len=*), intent(in) :: name
    integer(c_int32_t), intent(in) :: rc, s
    call beginLine(name, rc)
    call printU32(s)
    call newline()
  end subroutine

  subroutine printProperties(name, rc, list, count)
    character(len=*), intent(in) :: name
    integer(c_int32_t), intent(in) :: rc, count
    type(c_ptr), intent(in) :: list
    type(MorvexProperty), pointer :: entries(:)
    integer :: i
    call beginLine(name, rc)
    call printU32(count)
    call newline()
    if (rc == 0 .or. .not. c_associated(list) .or. count <= 0) return
    call c_f_pointer(list, entries, [count])
    do i = 1, count
      call say('  property')
      call printUtf16(entries(i)%key)
      call printUtf16(entries(i)%value)
      call newline()
    end do
  end subroutine

  ! Ranges, nominal values, status words, solver id, properties, availability.
  subroutine describeModule(m)
    type(c_ptr), intent(in) :: m
    real(c_double) :: lo, hi, v
    integer(c_int32_t) :: s, rc, count, i, available
    type(c_ptr) :: text, list
    integer(c_int32_t), parameter :: kIds(14) = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1]

    lo = kUnset; hi = kUnset; rc = Morvex_GetPressureRange(m, lo, hi)
    call printRange('pressureRange', rc, lo, hi)
    lo = kUnset; hi = kUnset; rc = Morvex_GetStrainRange(m, lo, hi)
    call printRange('strainRange', rc, lo, hi)
    lo = kUnset; hi = kUnset; rc = Morvex_GetTemperatureRange(m, lo, hi)
    call printRange('temperatureRange', rc, lo, hi)
    lo = kUnset; hi = kUnset; rc = Morvex_GetVelocityRange(m, lo, hi)
    call printRange('velocityRange', rc, lo, hi)
    lo = kUnset; hi = kUnset; rc = Morvex_GetSheetRoughnessRange(m, lo, hi)
    call printRange('sheetRoughnessRange', rc, lo, hi)
    lo = kUnset; hi = kUnset; rc = Morvex_GetLubricationAmountRange(m, lo, hi)
    call printRange('lubricationAmountRange', rc, lo, hi)
    lo = kUnset; hi = kUnset; rc = Morvex_GetToolRoughnessRange(m, lo, hi)
    call printRange('toolRoughnessRange', rc, lo, hi)
    v = kUnset; rc = Morvex_GetNominalSheetRoughness(m, v)
    call printValue('nominalSheetRoughness', rc, v)
    v = kUnset; rc = Morvex_GetNominalLubricationAmount(m, v)
    call printValue('nominalLubricationAmount', rc, v)
    v = kUnset; rc = Morvex_GetNominalToolRoughness(m, v)
    call printValue('nominalToolRoughness', rc, v)
    s = kUnsetStatus; rc = Morvex_GetStrainRougheningStatus(m, s)
    call printStatus('strainRougheningStatus', rc, s)
    s = kUnsetStatus; rc = Morvex_GetStaticFrictionStatus(m, s)
    call printStatus('staticFrictionStatus', rc, s)
    s = kUnsetStatus; rc = Morvex_GetToolWearStatus(m, s)
    call printStatus('toolWearStatus', rc, s)
    s = kUnsetStatus; rc = Morvex_GetDirectionDependencyStatus(m, s)
    call printStatus('directionDependencyStatus', rc, s)
    s = kUnsetStatus; rc = Morvex_GetHeatTransferCoefficientStatus(m, s)
    call printStatus('heatTransferCoefficientStatus', rc, s)
    s = kUnsetStatus; rc = Morvex_GetIsToolTempEqual(m, s)
    call printStatus('isToolTempEqual', rc, s)

    text = c_null_ptr
    rc = Morvex_GetSolverID(m, text)
    call beginLine('solverId', rc)
    call printUtf16(text)
    call newline()

    list = c_null_ptr; count = kUnsetStatus
    rc = Morvex_GetWorkpieceProperties(m, list, count)
    call printProperties('workpieceProperties', rc, list, count)
    list = c_null_ptr; count = kUnsetStatus
    rc = Morvex_GetLubricantProperties(m, list, count)
    call printProperties('lubricantProperties', rc, list, count)
    list = c_null_ptr; count = kUnsetStatus
    rc = Morvex_GetToolingProperties(m, list, count)
    call printProperties('toolingProperties', rc, list, count)

    ! Ids 0 to 11, then ids beyond the table, which answer like id 3.
    do i = 1, size(kIds)
      available = kUnsetStatus
      call beginLine('packageAvailable', Morvex_CheckPackageAvailability(m, kIds(i), available))
      call printU32(kIds(i))
      call printU32(available)
      call newline()
    end do
    available = kUnsetStatus
    call beginLine('productionAvailable', Morvex_CheckProductionPackageAvailability(m, available))
    call printU32(available)
    call newline()
  end subroutine

  ! Serializes the module; the caller owns the blob. Prints length and checksum.
  logical function serialize(m, label, blob, length)
    type(c_ptr), intent(in) :: m
    character(len=*), intent(in) :: label
    type(c_ptr), intent(out) :: blob
    integer(c_int64_t), intent(out) :: length
    integer(c_int32_t) :: rc
    blob = c_null_ptr
    length = 0
    rc = Morvex_SerializeModule(m, blob, length)
    call beginLine(label, rc)
    call printU64(length)
    if (rc /= 0) then
      call printU64(checksum(mx_blob_bytes(blob, length)))
    else
      call printU64(0_c_int64_t)
    end if
    call newline()
    serialize = rc /= 0
  end function

  ! ---- Solver road: a fixed set of contact states ------------------------

  ! A point of a range at fraction t; t outside 0..1 lies outside the range.
  real(c_double) function at(range, t)
    real(c_double), intent(in) :: range(2), t
    at = range(1) + t * (range(2) - range(1))
  end function

  subroutine evaluateAll(m, in)
    type(c_ptr), intent(in) :: m
    type(MorvexInputRecord), intent(in) :: in
    real(c_double) :: v, capped, amount, accumulator
    integer(c_int32_t) :: id, l, rc
    integer :: b, p, d
    real(c_double), parameter :: kBounds(3) = [0.0_c_double, 0.35_c_double, 1e9_c_double]
    real(c_double), parameter :: kPrevious(2) = [0.0_c_double, 0.5_c_double]
    real(c_double), parameter :: kDivisors(4) = [0.0_c_double, -1.0_c_double, 0.75_c_double, &
                                                 40.0_c_double]
    real(c_double), target, save :: kFirst = 0.8_c_double, kSecond = 1.7_c_double, &
                                    kNegative = -1.0_c_double
    type(c_ptr) :: limits(2, 4)

    do id = 0, 12
      v = kUnset
      rc = Morvex_GetPackageValue(m, in, id, v)
      call beginLine('packageValue', rc)
      call printU32(id)
      call printF64(v)
      call newline()
      v = kUnset
      rc = Morvex_GetPackageAverage(m, in, id, v)
      call beginLine('packageAverage', rc)
      call printU32(id)
      call printF64(v)
      call newline()
    end do
    do b = 1, size(kBounds)
      v = kUnset
      rc = Morvex_GetSurfaceRoughness(m, in, kBounds(b), v)
      call beginLine('surfaceRoughness', rc)
      call printF64(kBounds(b))
      call printF64(v)
      call newline()
      capped = kUnset
      amount = kUnset
      rc = Morvex_GetLubricationAmount(m, in, kBounds(b), capped, amount)
      call beginLine('lubricationAmount', rc)
      call printF64(kBounds(b))
      call printF64(capped)
      call printF64(amount)
      call newline()
      v = kUnset
      rc = Morvex_GetSpotLubeIndicator(m, in, kBounds(b), v)
      call beginLine('spotLubeIndicator', rc)
      call printF64(kBounds(b))
      call printF64(v)
      call newline()
    end do
    do p = 1, size(kPrevious)
      v = kUnset
      rc = Morvex_GetRealContactArea(m, in, kPrevious(p), v)
      call beginLine('realContactArea', rc)
      call printF64(kPrevious(p))
      call printF64(v)
      call newline()
      v = kUnset
      rc = Morvex_GetHistoryParameter(m, in, kPrevious(p), v)
      call beginLine('historyParameter', rc)
      call printF64(kPrevious(p))
      call printF64(v)
      call newline()
    end do
    accumulator = 0.125_c_double
    rc = Morvex_GetGallingIndicator(m, in, 2.0_c_double, 99.0_c_double, accumulator)
    call beginLine('gallingIndicator', rc)
    call printF64(accumulator)
    call newline()
    accumulator = 0.125_c_double
    rc = Morvex_GetWearIndicator(m, in, 0.5_c_double, 99.0_c_double, accumulator)
    call beginLine('wearIndicator', rc)
    call printF64(accumulator)
    call newline()
    limits(:, 1) = [c_loc(kFirst), c_loc(kSecond)]
    limits(:, 2) = [c_loc(kFirst), c_null_ptr]
    limits(:, 3) = [c_null_ptr, c_loc(kSecond)]
    limits(:, 4) = [c_loc(kNegative), c_loc(kSecond)]
    do l = 1, 4
      v = kUnset
      rc = Morvex_GetProductionVolume(m, in, limits(1, l), limits(2, l), v)
      call beginLine('productionVolume', rc)
      call printU32(l - 1)
      call printF64(v)
      call newline()
    end do
    do d = 1, size(kDivisors)
      v = kUnset
      rc = Morvex_GetHeatTransferCoefficient(m, in, kDivisors(d), v)
      call beginLine('heatTransferCoefficient', rc)
      call printF64(kDivisors(d))
      call printF64(v)
      call newline()
    end do
  end subroutine

  ! Every combination of a few positions in each range: inside, on the edges,
  ! below and above; both direction settings and both temperature modes.
  subroutine evaluateStates(m)
    type(c_ptr), intent(in) :: m
    real(c_double) :: pr(2), st(2), te(2), ve(2), sr(2), la(2), tr(2), pressure
    real(c_double), parameter :: kPressure(5) = [-0.2_c_double, 0.0_c_double, 0.37_c_double, &
                                                  1.0_c_double, 1.3_c_double]
    real(c_double), parameter :: kSheetRoughness(3) = [0.0_c_double, 0.41_c_double, 1.2_c_double]
    real(c_double), parameter :: kLubrication(2) = [0.29_c_double, 1.0_c_double]
    real(c_double), parameter :: kTemperature(2) = [0.15_c_double, 0.8_c_double]
    type(MorvexInputRecord) :: in
    integer(c_int32_t) :: rc, direction, mode, state, ignored
    integer :: p, s, l, t

    ignored = Morvex_GetPressureRange(m, pr(1), pr(2))
    ignored = Morvex_GetStrainRange(m, st(1), st(2))
    ignored = Morvex_GetTemperatureRange(m, te(1), te(2))
    ignored = Morvex_GetVelocityRange(m, ve(1), ve(2))
    ! An empty axis leaves the fallback 0..1.
    sr = [0.0_c_double, 1.0_c_double]
    la = sr
    tr = sr
    ignored = Morvex_GetSheetRoughnessRange(m, sr(1), sr(2))
    ignored = Morvex_GetLubricationAmountRange(m, la(1), la(2))
    ignored = Morvex_GetToolRoughnessRange(m, tr(1), tr(2))

    state = 0
    do p = 1, size(kPressure)
      do s = 0, size(kSheetRoughness) - 1
        do l = 0, size(kLubrication) - 1
          do t = 0, size(kTemperature) - 1
            do direction = 0, 1
              in = MorvexInputRecord()
              if (kPressure(p) < 0.0_c_double) then
                pressure = pr(1) * 0.5_c_double
              else
                pressure = at(pr, kPressure(p))
              end if
              mode = int(mod(s + t, 2), c_int32_t)
              rc = Morvex_SetNodalInput(in, pressure, at(st, 0.3_c_double + 0.2_c_double * t), &
                                        at(te, kTemperature(t + 1)), &
                                        at(te, 1.0_c_double - kTemperature(t + 1)), &
                                        at(ve, 0.05_c_double + 0.3_c_double * l), &
                                        merge(0.6_c_double, 1.0_c_double, direction /= 0), &
                                        0.25_c_double * s)
              rc = iand(rc, Morvex_SetSystemInput(in, direction, at(sr, kSheetRoughness(s + 1)), &
                                                  at(la, kLubrication(l + 1)), &
                                                  at(tr, 0.6_c_double), mode))
              call beginLine('state', rc)
              call printU32(state)
              state = state + 1
              call printF64(in%pressure)
              call printF64(in%sheetTemperature)
              call printF64(in%sheetRoughness)
              call printU32(in%useDirectionDependency)
              call printU32(in%temperatureMode)
              call newline()
              call evaluateAll(m, in)
            end do
          end do
        end do
      end do
    end do
  end subroutine

  ! Solver road on the blob: deserialize and prepare in one call, and in two
  ! calls; both prepared modules serialize alike; then evaluate.
  subroutine solverRoad(blob, length)
    type(c_ptr), intent(in) :: blob
    integer(c_int64_t), intent(in) :: length
    integer(c_int8_t), pointer :: bytes(:)
    type(c_ptr) :: prepared, stepwise, again
    integer(c_int64_t) :: againLength
    integer(c_int32_t) :: rc

    bytes => mx_blob_bytes(blob, length)
    prepared = c_null_ptr
    rc = Morvex_DeserializeAndPrepareSolverData(bytes, int(length, c_int32_t), prepared)
    call beginLine('deserializeAndPrepare', rc)
    call printU32(flag(c_associated(prepared)))
    call newline()

    stepwise = c_null_ptr
    rc = Morvex_DeserializeModule(bytes, int(length, c_int32_t), stepwise)
    call beginLine('deserialize', rc)
    call printU32(flag(c_associated(stepwise)))
    call newline()
    if (c_associated(stepwise)) then
      call beginLine('prepare', Morvex_PrepareSolverData(stepwise))
      call newline()
    end if

    if (c_associated(prepared)) then
      if (serialize(prepared, 'serializePrepared', again, againLength)) call Morvex_FreeBlob(again)
    end if
    if (c_associated(stepwise)) then
      if (serialize(stepwise, 'serializeStepwise', again, againLength)) call Morvex_FreeBlob(again)
    end if
    call Morvex_FreeModule(stepwise)

    if (c_associated(prepared)) call evaluateStates(prepared)
    call Morvex_FreeModule(prepared)
  end subroutine

  ! ---- Main --------------------------------------------------------------

  ! The module of the pre-processor road: from the data file, or from a stored
  ! module record when the host is given --blob.
  type(c_ptr) function openModule(path, isBlob) result(m)
    character(len=*), intent(in) :: path
    logical, intent(in) :: isBlob
    integer(c_int8_t), allocatable :: bytes(:)
    integer :: unit, status, fileSize
    integer(c_int32_t) :: rc
    m = c_null_ptr
    if (.not. isBlob) then
      rc = Morvex_LoadFile(mx_c_string(path), m)
      call beginLine('loadFile', rc)
      call printU32(flag(c_associated(m)))
      call newline()
      return
    end if
    fileSize = -1
    open(newunit=unit, file=path, access='stream', form='unformatted', status='old', &
         action='read', iostat=status)
    if (status == 0) inquire(unit=unit, size=fileSize)
    if (status == 0 .and. fileSize >= 0) then
      allocate(bytes(fileSize))
      read(unit, iostat=status) bytes
      close(unit)
    end if
    if (status /= 0 .or. fileSize < 0) then
      flush(output_unit)
      write(error_unit, '(a)') 'mx_host_fortran: cannot read ' // path
      stop 1
    end if
    rc = Morvex_DeserializeModule(bytes, int(fileSize, c_int32_t), m)
    call beginLine('deserializeStoredBlob', rc)
    call printU32(flag(c_associated(m)))
    call newline()
  end function

  subroutine parseArguments(input, isBlob)
    character(len=:), allocatable, intent(out) :: input
    logical, intent(out) :: isBlob
    character(len=4096) :: argument
    integer :: count
    count = command_argument_count()
    isBlob = .false.
    if (count == 1) then
      call get_command_argument(1, argument)
    else if (count == 2) then
      call get_command_argument(1, argument)
      isBlob = argument == '--blob'
      call get_command_argument(2, argument)
    end if
    if (count < 1 .or. count > 2 .or. (count == 2 .and. .not. isBlob)) then
      write(error_unit, '(a)') 'usage: mx_host_fortran (DATAFILE | --blob FILE)'
      stop 2
    end if
    input = trim(argument)
  end subroutine

  ! How many of the 42 functions the loader bound to an address.
  integer function resolvedCount()
    type(c_funptr) :: f(42)
    integer :: i
    f = [c_funloc(Morvex_LoadFile), c_funloc(Morvex_SerializeModule), &
         c_funloc(Morvex_FreeBlob), c_funloc(Morvex_DeserializeModule), &
         c_funloc(Morvex_PrepareSolverData), c_funloc(Morvex_DeserializeAndPrepareSolverData), &
         c_funloc(Morvex_FreeModule), c_funloc(Morvex_SetNodalInput), &
         c_funloc(Morvex_SetSystemInput), c_funloc(Morvex_GetPressureRange), &
         c_funloc(Morvex_GetStrainRange), c_funloc(Morvex_GetTemperatureRange), &
         c_funloc(Morvex_GetVelocityRange), c_funloc(Morvex_GetSheetRoughnessRange), &
         c_funloc(Morvex_GetLubricationAmountRange), c_funloc(Morvex_GetToolRoughnessRange), &
         c_funloc(Morvex_GetNominalSheetRoughness), c_funloc(Morvex_GetNominalLubricationAmount), &
         c_funloc(Morvex_GetNominalToolRoughness), c_funloc(Morvex_GetStrainRougheningStatus), &
         c_funloc(Morvex_GetStaticFrictionStatus), c_funloc(Morvex_GetToolWearStatus), &
         c_funloc(Morvex_GetDirectionDependencyStatus), &
         c_funloc(Morvex_GetHeatTransferCoefficientStatus), c_funloc(Morvex_GetIsToolTempEqual), &
         c_funloc(Morvex_GetSolverID), c_funloc(Morvex_GetWorkpieceProperties), &
         c_funloc(Morvex_GetLubricantProperties), c_funloc(Morvex_GetToolingProperties), &
         c_funloc(Morvex_CheckPackageAvailability), &
         c_funloc(Morvex_CheckProductionPackageAvailability), c_funloc(Morvex_GetPackageValue), &
         c_funloc(Morvex_GetPackageAverage), c_funloc(Morvex_GetSurfaceRoughness), &
         c_funloc(Morvex_GetRealContactArea), c_funloc(Morvex_GetHistoryParameter), &
         c_funloc(Morvex_GetLubricationAmount), c_funloc(Morvex_GetSpotLubeIndicator), &
         c_funloc(Morvex_GetGallingIndicator), c_funloc(Morvex_GetWearIndicator), &
         c_funloc(Morvex_GetProductionVolume), c_funloc(Morvex_GetHeatTransferCoefficient)]
    resolvedCount = 0
    do i = 1, size(f)
      if (c_associated(f(i))) resolvedCount = resolvedCount + 1
    end do
  end function
end program mx_host_fortran
