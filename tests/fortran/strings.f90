! Guards against wrong text in a Fortran host: a UTF-16 string turned into
! UTF-8 wrongly (two-, three- and four-byte forms, surrogate pairs, a lone
! surrogate, the terminator) or a property list read with the wrong layout.
!
!   mx_fortran_strings DATAFILE   (the demo material)
program mx_fortran_strings
  use, intrinsic :: iso_c_binding
  use mxplugin
  implicit none
  type(c_ptr) :: module, list
  integer(c_int32_t) :: count
  character(len=:), allocatable :: key, value
  character(len=1024) :: path

  ! UTF-16 in, UTF-8 bytes out.
  call expect([int(z'004D', c_int16_t), int(z'0058', c_int16_t), int(z'0032', c_int16_t)], 'MX2')
  call expect([int(z'00B5', c_int16_t), int(z'006D', c_int16_t)], char(194) // char(181) // 'm')
  call expect([int(z'20AC', c_int16_t)], char(226) // char(130) // char(172))
  call expect([int(z'D83D', c_int16_t), int(z'DE00', c_int16_t)], &
              char(240) // char(159) // char(152) // char(128))
  call expect([int(z'D800', c_int16_t), int(z'0041', c_int16_t)], &
              char(239) // char(191) // char(189) // 'A')
  key = mx_utf16_to_utf8(c_null_ptr)
  count = size(mx_utf16_units(c_null_ptr))
  if (key /= '' .or. count /= 0) error stop 'a null string is not empty'

  ! A property list as the library hands it out.
  call get_command_argument(1, path)
  module = c_null_ptr
  if (Morvex_LoadFile(mx_c_string(path), module) /= 1) error stop 'cannot load the data file'
  list = c_null_ptr
  count = 0
  if (Morvex_GetWorkpieceProperties(module, list, count) /= 1) error stop 'no property list'
  call mx_get_property(list, count, 1, key, value)
  if (key /= 'Sheet grade' .or. value /= 'DX54D') then
    print '(5a)', 'first workpiece property: "', key, '" = "', value, '"'
    error stop 'wrong first workpiece property'
  end if
  call mx_get_property(list, count, count + 1, key, value)
  if (key /= '' .or. value /= '') error stop 'a property past the end is not empty'
  call Morvex_FreeModule(module)

contains

  subroutine expect(units, utf8)
    integer(c_int16_t), intent(in) :: units(:)
    character(len=*), intent(in) :: utf8
    integer(c_int16_t), target :: terminated(size(units) + 1)
    logical :: sameUnits
    terminated = [units, 0_c_int16_t]
    sameUnits = all(mx_utf16_units(c_loc(terminated)) == units)
    if (mx_utf16_to_utf8(c_loc(terminated)) /= utf8 .or. .not. sameUnits) then
      print '(a, z4.4)', 'wrong text for a string starting with U+', units(1)
      error stop 'wrong UTF-8 or code units'
    end if
  end subroutine
end program mx_fortran_strings
