! REPORT - one line of printed output: step, simulated time and the
! energies from DIAG.  A heading comes before the line of step 0.
subroutine report(istep)
  implicit none
  integer, intent(in) :: istep
  double precision :: dt, grav, drag, boxl, rest
  integer :: nstep, nout
  common /simpar/ dt, grav, drag, boxl, rest, nstep, nout
  double precision :: ekin, epot, etot
  common /energy/ ekin, epot, etot

  if (istep == 0) then
    write (*, '(a)') '    step      time        ekin        epot        etot'
  end if
  write (*, '(i8, f10.4, 3es12.4)') istep, istep * dt, ekin, epot, etot
end subroutine report
