! Guards against a Fortran host seeing different answers, or a floating-point
! trap, when several threads evaluate on one prepared module: evaluation that
! writes shared state, a binding that passes the input record or an
! out-parameter wrongly, or an operation on the demo's data that raises
! invalid, divide-by-zero or overflow.
!
!   mx_fortran_concurrency DATAFILE
!
! Built with -ffpe-trap=invalid,zero,overflow and OpenMP. Every thread turns
! halting on for those exceptions itself (threads need not inherit the
! setting), evaluates every query at every contact state several times, and
! compares each result bit for bit with the single-threaded run.
program mx_fortran_concurrency
  use, intrinsic :: iso_c_binding
  use, intrinsic :: ieee_exceptions
  use mxplugin
  use omp_lib
  implicit none

  integer, parameter :: kThreads = 4, kRounds = 3
  type(MorvexInputRecord), allocatable :: states(:)
  real(c_double), allocatable :: reference(:, :)
  integer(c_int32_t), allocatable :: referenceRc(:, :)
  type(c_ptr) :: module
  integer :: mismatches, threadsSeen, notHalting, answered
  character(len=4096) :: path

  if (command_argument_count() /= 1) error stop 'usage: mx_fortran_concurrency DATAFILE'
  call get_command_argument(1, path)
  module = preparedModule(trim(path))
  states = contactStates(module)
  call evaluateEverything(module, states, reference, referenceRc)
  answered = count(referenceRc == 1)
  print '(a, i0, a, i0, a, i0)', 'states ', size(states), ', results ', size(reference), &
    ', answered 1: ', answered
  ! Too few answers would make the comparison say little.
  if (answered * 2 < size(referenceRc)) error stop 'most queries failed: the module is not usable'

  mismatches = 0
  threadsSeen = 0
  notHalting = 0
  !$omp parallel num_threads(kThreads) reduction(+:mismatches, threadsSeen, notHalting)
  block
    real(c_double), allocatable :: values(:, :)
    integer(c_int32_t), allocatable :: rc(:, :)
    logical :: halting(3)
    integer :: round
    call ieee_set_halting_mode([ieee_invalid, ieee_divide_by_zero, ieee_overflow], .true.)
    call ieee_get_halting_mode([ieee_invalid, ieee_divide_by_zero, ieee_overflow], halting)
    if (.not. all(halting)) notHalting = 1
    threadsSeen = 1
    do round = 1, kRounds
      call evaluateEverything(module, states, values, rc)
      mismatches = mismatches + count(transfer(values, 0_c_int64_t, size(values)) /= &
                                      transfer(reference, 0_c_int64_t, size(reference)))
      mismatches = mismatches + count(rc /= referenceRc)
    end do
  end block
  !$omp end parallel
  call Morvex_FreeModule(module)

  print '(a, i0, a, i0)', 'threads ', threadsSeen, ', mismatches ', mismatches
  if (threadsSeen < 2) error stop 'the queries never ran on more than one thread'
  if (notHalting /= 0) error stop 'floating-point halting could not be turned on'
  if (mismatches /= 0) error stop 'threads disagree with the single-threaded results'

contains

  ! Load, serialize, deserialize and prepare: the module a solver evaluates.
  type(c_ptr) function preparedModule(file) result(prepared)
    character(len=*), intent(in) :: file
    type(c_ptr) :: loaded, blob
    integer(c_int64_t) :: length
    loaded = c_null_ptr
    blob = c_null_ptr
    length = 0
    prepared = c_null_ptr
    if (Morvex_LoadFile(mx_c_string(file), loaded) /= 1) error stop 'cannot load the data file'
    if (Morvex_SerializeModule(loaded, blob, length) /= 1) error stop 'cannot serialize'
    call Morvex_FreeModule(loaded)
    if (Morvex_DeserializeAndPrepareSolverData(mx_blob_bytes(blob, length), &
                                               int(length, c_int32_t), prepared) /= 1) then
      error stop 'cannot prepare'
    end if
    call Morvex_FreeBlob(blob)
  end function

  ! Every variable below, inside and above its range or axis; both direction
  ! settings and temperature modes.
  function contactStates(m) result(list)
    type(c_ptr), intent(in) :: m
    type(MorvexInputRecord), allocatable :: list(:)
    real(c_double) :: p(2), e(2), t(2), v(2), s(2), l(2), r(2)
    real(c_double), parameter :: kAt(7) = [-0.5_c_double, 0.0_c_double, 0.01_c_double, &
                                           0.3_c_double, 0.77_c_double, 1.0_c_double, 1.4_c_double]
    integer :: ip, is, il, mode, direction, n
    integer(c_int32_t) :: ignored
    ignored = Morvex_GetPressureRange(m, p(1), p(2))
    ignored = Morvex_GetStrainRange(m, e(1), e(2))
    ignored = Morvex_GetTemperatureRange(m, t(1), t(2))
    ignored = Morvex_GetVelocityRange(m, v(1), v(2))
    s = [0.0_c_double, 1.0_c_double]
    l = s
    r = s
    ignored = Morvex_GetSheetRoughnessRange(m, s(1), s(2))
    ignored = Morvex_GetLubricationAmountRange(m, l(1), l(2))
    ignored = Morvex_GetToolRoughnessRange(m, r(1), r(2))
    allocate(list(7 * 3 * 3 * 2 * 2))
    do n = 1, size(list)
      ip = 1 + (n - 1) / 36
      is = 1 + mod((n - 1) / 12, 3)
      il = 1 + mod((n - 1) / 4, 3)
      mode = mod((n - 1) / 2, 2)
      direction = mod(n - 1, 2)
      ignored = Morvex_SetNodalInput(list(n), at(p, kAt(ip)), at(e, kAt(8 - ip)), &
                                     at(t, kAt(2 * is - 1)), at(t, kAt(il + 4)), &
                                     at(v, kAt(1 + mod(ip + mode, 7))), 0.2_c_double * ip, &
                                     0.0_c_double)
      ignored = Morvex_SetSystemInput(list(n), int(direction, c_int32_t), &
                                      at(s, 0.75_c_double * is - 1.0_c_double), &
                                      at(l, 0.75_c_double * il - 1.0_c_double), &
                                      at(r, 0.25_c_double * is), int(mode, c_int32_t))
    end do
  end function

  real(c_double) function at(range, fraction)
    real(c_double), intent(in) :: range(2), fraction
    at = range(1) + fraction * (range(2) - range(1))
  end function

  ! Every query through the block helper: one column per query and argument,
  ! the lubrication amount's capped result in the last but one.
  subroutine evaluateEverything(m, inputs, values, rc)
    type(c_ptr), intent(in) :: m
    type(MorvexInputRecord), intent(in) :: inputs(:)
    real(c_double), allocatable, intent(out) :: values(:, :)
    integer(c_int32_t), allocatable, intent(out) :: rc(:, :)
    integer, parameter :: kQuery(8) = [MX_SURFACE_ROUGHNESS, MX_REAL_CONTACT_AREA, &
      MX_HISTORY_PARAMETER, MX_SPOT_LUBE_INDICATOR, MX_GALLING_INDICATOR, MX_WEAR_INDICATOR, &
      MX_HEAT_TRANSFER_COEFFICIENT, MX_HEAT_TRANSFER_COEFFICIENT]
    ! Their arguments; a negative one is left out (the query's default).
    real(c_double), parameter :: kArgument(8) = [0.35_c_double, -1.0_c_double, -1.0_c_double, &
      0.5_c_double, 2.0_c_double, 0.5_c_double, -1.0_c_double, 0.75_c_double]
    real(c_double), target :: firstLimit, secondLimit
    integer :: q, failures
    integer(c_int32_t) :: id
    allocate(values(size(inputs), 37), rc(size(inputs), 37))
    values = -7.25_c_double
    values(:, 28:29) = 0.25_c_double  ! previous contact area and history parameter
    values(:, 31:32) = 0.125_c_double  ! galling and wear sums
    do id = 0, 12
      failures = mx_evaluate_block(m, MX_PACKAGE_VALUE, inputs, values(:, 2 * id + 1), &
                                   package_id=id, rc=rc(:, 2 * id + 1))
      failures = mx_evaluate_block(m, MX_PACKAGE_AVERAGE, inputs, values(:, 2 * id + 2), &
                                   package_id=id, rc=rc(:, 2 * id + 2))
    end do
    do q = 1, 8
      if (kArgument(q) < 0) then
        failures = mx_evaluate_block(m, kQuery(q), inputs, values(:, 26 + q), rc=rc(:, 26 + q))
      else
        failures = mx_evaluate_block(m, kQuery(q), inputs, values(:, 26 + q), &
                                     argument=kArgument(q), rc=rc(:, 26 + q))
      end if
    end do
    failures = mx_evaluate_block(m, MX_LUBRICATION_AMOUNT, inputs, values(:, 35), &
                                 argument=1.5_c_double, capped=values(:, 36), rc=rc(:, 35))
    rc(:, 36) = rc(:, 35)
    firstLimit = 0.8_c_double
    secondLimit = 1.7_c_double
    failures = mx_evaluate_block(m, MX_PRODUCTION_VOLUME, inputs, values(:, 37), &
                                 first_limit=firstLimit, second_limit=secondLimit, rc=rc(:, 37))
  end subroutine

end program mx_fortran_concurrency
