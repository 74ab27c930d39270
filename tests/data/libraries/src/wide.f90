! Compiled with -Wa,-mbig-obj for the big-object files.
subroutine widen(y)
  real, intent(inout) :: y
  real :: x
  common /grid/ x(4)
  real :: v
  common /wide/ v(3)
  y = y + x(1) + v(3)
end subroutine widen
