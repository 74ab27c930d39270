C=======================================================================
C     PBDATA - initial values of the run parameters and of the pair
C     repulsion constants.  Change the run here.
C
C       DT     time step                          s
C       GRAV   gravitational acceleration         m/s**2
C       DRAG   linear drag coefficient per mass   1/s
C       BOXL   side of the box                    m
C       REST   coefficient of restitution at the walls
C       NSTEP  number of time steps
C       NOUT   steps between two reports
C       RCUT   range of the pair repulsion        m
C       STIFF  stiffness of the pair repulsion    1/s**2
C=======================================================================
      BLOCK DATA PBDATA
      IMPLICIT NONE
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
      DOUBLE PRECISION RCUT, STIFF
      COMMON /PAIR/ RCUT, STIFF
C
      DATA DT, GRAV, DRAG / 1.0D-3, 9.81D0, 0.05D0 /
      DATA BOXL, REST / 1.0D0, 0.9D0 /
      DATA NSTEP, NOUT / 4000, 500 /
      DATA RCUT, STIFF / 0.05D0, 2.0D4 /
      END
