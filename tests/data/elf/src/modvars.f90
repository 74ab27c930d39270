! Module variables are defined data (__state_MOD_*), not COMMON.
module state
  implicit none
  integer :: nstep
  real(8) :: dt = 0.01d0
  real :: hist(50)
contains
  subroutine advance()
    nstep = nstep + 1
    hist(1) = real(dt)
  end subroutine advance
end module state
