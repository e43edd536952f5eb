! Guards against a Fortran host seeing different answers, or a floating-point
! trap, when several threads evaluate on one prepared module: evaluation that
! writes shared state, or an operation on the demo's data that raises
! invalid, divide-by-zero or overflow. That every interface matches its C
! function is the host comparison's business (tests/fortran/CMakeLists.txt).
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
  implicit none

  integer, parameter :: kThreads = 4, kRounds = 3
  type(MorvexInputRecord), allocatable :: states(:)
  real(c_double), allocatable :: reference(:, :)
  integer(c_int32_t), allocatable :: referenceRc(:, :)
  type(c_ptr) :: module
  integer :: mismatches, threadsSeen, notHalting
  character(len=4096) :: path

  if (command_argument_count() /= 1) error stop 'usage: mx_fortran_concurrency DATAFILE'
  call get_command_argument(1, path)
  module = c_null_ptr
  if (Morvex_LoadFile(mx_c_string(path), module) /= 1) error stop 'cannot load the data file'
  if (Morvex_PrepareSolverData(module) /= 1) error stop 'cannot prepare'
  states = contactStates(module)
  call evaluateEverything(module, states, reference, referenceRc)
  ! Too few answers would make the comparison say little.
  if (count(referenceRc == 1) * 2 < size(referenceRc)) error stop 'most queries failed'

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

  print '(a, i0, a, i0, a, i0)', 'states ', size(states), ', threads ', threadsSeen, &
    ', mismatches ', mismatches
  if (threadsSeen < 2) error stop 'the queries never ran on more than one thread'
  if (notHalting /= 0) error stop 'floating-point halting could not be turned on'
  if (mismatches /= 0) error stop 'threads disagree with the single-threaded results'

contains

  ! Every variable at fractions of its range or axis from -0.4 to 1.4, both
  ! direction settings and temperature modes.
  function contactStates(m) result(list)
    type(c_ptr), intent(in) :: m
    type(MorvexInputRecord) :: list(84)
    real(c_double) :: r(2, 7), f(7)
    integer :: n
    integer(c_int32_t) :: ignored
    r = reshape([(0.0_c_double, 1.0_c_double, n = 1, 7)], [2, 7])
    ignored = Morvex_GetPressureRange(m, r(1, 1), r(2, 1))
    ignored = Morvex_GetStrainRange(m, r(1, 2), r(2, 2))
    ignored = Morvex_GetTemperatureRange(m, r(1, 3), r(2, 3))
    ignored = Morvex_GetVelocityRange(m, r(1, 4), r(2, 4))
    ignored = Morvex_GetSheetRoughnessRange(m, r(1, 5), r(2, 5))
    ignored = Morvex_GetLubricationAmountRange(m, r(1, 6), r(2, 6))
    ignored = Morvex_GetToolRoughnessRange(m, r(1, 7), r(2, 7))
    do n = 1, size(list)
      f = modulo(n * [0.37_c_double, 0.61_c_double, 0.29_c_double, 0.83_c_double, &
                      0.47_c_double, 0.71_c_double, 0.13_c_double], 1.8_c_double) - 0.4_c_double
      f = r(1, :) + f * (r(2, :) - r(1, :))
      ignored = Morvex_SetNodalInput(list(n), f(1), f(2), f(3), r(1, 3) + r(2, 3) - f(3), f(4), &
                                     0.1_c_double * mod(n, 11), 0.0_c_double)
      ignored = Morvex_SetSystemInput(list(n), int(mod(n, 2), c_int32_t), f(5), f(6), f(7), &
                                      int(mod(n / 2, 2), c_int32_t))
    end do
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
