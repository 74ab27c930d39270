C=======================================================================
C     DIAG - energies per unit mass summed over all particles:
C       EKIN  kinetic energy
C       EPOT  potential energy, gravity plus pair repulsion
C             (0.5*STIFF*(RCUT - r)**2 for each pair closer than RCUT)
C       ETOT  EKIN + EPOT
C     EWALL, the energy lost at the walls so far, is kept by WALLS.
C=======================================================================
      SUBROUTINE DIAG
      IMPLICIT NONE
      INTEGER NP
      PARAMETER (NP = 64)
      DOUBLE PRECISION X, V, A
      COMMON /PART/ X(2,NP), V(2,NP), A(2,NP)
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
C     Pair repulsion constants, the same as in FORCE.
      DOUBLE PRECISION RCUT, STIFF
      COMMON /FORCE/ RCUT, STIFF
      DOUBLE PRECISION EKIN, EPOT, ETOT, EWALL
      COMMON /ENERGY/ EKIN, EPOT, ETOT, EWALL
C
      INTEGER I, J
      DOUBLE PRECISION DX, DY, R
C
      EKIN = 0.0D0
      EPOT = 0.0D0
      DO 10 I = 1, NP
         EKIN = EKIN + 0.5D0 * (V(1,I) * V(1,I) + V(2,I) * V(2,I))
         EPOT = EPOT + GRAV * X(2,I)
   10 CONTINUE
C
      DO 30 I = 1, NP - 1
         DO 20 J = I + 1, NP
            DX = X(1,I) - X(1,J)
            DY = X(2,I) - X(2,J)
            R = SQRT(DX * DX + DY * DY)
            IF (R .LT. RCUT) EPOT = EPOT + 0.5D0 * STIFF * (RCUT - R)**2
   20    CONTINUE
   30 CONTINUE
      ETOT = EKIN + EPOT
      END
