! The host integration guide's example in Fortran: the same roads as guide.c,
! evaluating a block of contact points at once, as a solver's friction user
! routine that is handed nBlock points does.
!
!   mx_guide_fortran DATAFILE
program guide
  use, intrinsic :: iso_c_binding
  use mxplugin
  implicit none
  integer, parameter :: nBlock = 3
  character(len=1024) :: path
  integer(c_int8_t), allocatable :: blob(:)
  type(c_ptr) :: module
  type(MorvexInputRecord) :: points(nBlock)
  real(c_double) :: mu(nBlock), area(nBlock)
  real(c_double), parameter :: pressures(nBlock) = [10.0_c_double, 40.0_c_double, 80.0_c_double]
  integer :: i, rc

  if (command_argument_count() /= 1) stop 2
  call get_command_argument(1, path)
  call storeModule(trim(path), blob)
  print '(a, i0, a)', 'blob ', size(blob), ' bytes'

  ! Solver, analysis start: once per process or MPI rank.
  module = c_null_ptr
  if (Morvex_DeserializeAndPrepareSolverData(blob, size(blob, kind=c_int32_t), module) /= 1) then
    call Morvex_FreeModule(module)
    stop 1
  end if
  deallocate(blob)

  ! Per block: MPa, -, degC, degC, mm/s, cosine, state; um, g/m2, um.
  do i = 1, nBlock
    rc = Morvex_SetNodalInput(points(i), pressures(i), 0.2_c_double, 110.0_c_double, &
                              110.0_c_double, 250.0_c_double, 1.0_c_double, 0.0_c_double)
    rc = Morvex_SetSystemInput(points(i), 0, 1.1_c_double, 1.0_c_double, 0.3_c_double, 0)
  end do
  area = 0.0_c_double  ! previous values: the history of each point
  if (mx_evaluate_block(module, MX_PACKAGE_VALUE, points, mu, package_id=3) /= 0) stop 1
  if (mx_evaluate_block(module, MX_REAL_CONTACT_AREA, points, area) /= 0) stop 1
  do i = 1, nBlock
    print '(a, f5.1, a, f8.6, a, f8.6)', 'p = ', pressures(i), '  mu = ', mu(i), '  area = ', area(i)
  end do

  ! Analysis end.
  call Morvex_FreeModule(module)

contains

  ! Pre-processor: data file -> blob (a copy the host owns).
  subroutine storeModule(file, bytes)
    character(len=*), intent(in) :: file
    integer(c_int8_t), allocatable, intent(out) :: bytes(:)
    type(c_ptr) :: loaded, serialized
    integer(c_int64_t) :: length
    integer(c_int8_t), pointer :: view(:)
    loaded = c_null_ptr
    if (Morvex_LoadFile(mx_c_string(file), loaded) /= 1) stop 1  ! mxtool check says why
    serialized = c_null_ptr
    length = 0
    if (Morvex_SerializeModule(loaded, serialized, length) /= 1) stop 1
    view => mx_blob_bytes(serialized, length)
    bytes = view
    call Morvex_FreeBlob(serialized)
    call Morvex_FreeModule(loaded)
  end subroutine
end program guide
