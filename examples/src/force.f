C=======================================================================
C     FORCE - accelerations of all particles (unit mass): gravity along
C     -y, linear drag -DRAG*v, and a soft repulsion between every pair
C     closer than RCUT, of magnitude STIFF*(RCUT - r) along the line of
C     centres.  The pair loop visits each pair once.
C=======================================================================
      SUBROUTINE FORCE
      IMPLICIT NONE
      INTEGER NP
      PARAMETER (NP = 64)
      DOUBLE PRECISION X, V, A
      COMMON /PART/ X(2,NP), V(2,NP), A(2,NP)
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
      DOUBLE PRECISION RCUT, STIFF
      COMMON /PAIR/ RCUT, STIFF
C
      INTEGER I, J
      DOUBLE PRECISION DX, DY, R2, R, F
C
      DO 10 I = 1, NP
         A(1,I) = -DRAG * V(1,I)
         A(2,I) = -GRAV - DRAG * V(2,I)
   10 CONTINUE
C
      DO 30 I = 1, NP - 1
         DO 20 J = I + 1, NP
            DX = X(1,I) - X(1,J)
            DY = X(2,I) - X(2,J)
            R2 = DX * DX + DY * DY
            IF (R2 .LT. RCUT * RCUT .AND. R2 .GT. 0.0D0) THEN
               R = SQRT(R2)
               F = STIFF * (RCUT - R) / R
               A(1,I) = A(1,I) + F * DX
               A(2,I) = A(2,I) + F * DY
               A(1,J) = A(1,J) - F * DX
               A(2,J) = A(2,J) - F * DY
            END IF
   20    CONTINUE
   30 CONTINUE
      END
