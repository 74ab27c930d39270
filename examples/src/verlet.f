C=======================================================================
C     VERLET - one velocity Verlet step of length DT: half a kick with
C     the old accelerations, a drift, the wall collisions, the new
C     accelerations, and the second half kick.  The drag term uses the
C     half-step velocity, which is accurate enough at this DT.
C=======================================================================
      SUBROUTINE VERLET
      IMPLICIT NONE
      INTEGER NP
      PARAMETER (NP = 64)
      DOUBLE PRECISION X, V, A
      COMMON /PART/ X(2,NP), V(2,NP), A(2,NP)
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
C
      INTEGER I, K
C
      DO 20 I = 1, NP
         DO 10 K = 1, 2
            V(K,I) = V(K,I) + 0.5D0 * DT * A(K,I)
            X(K,I) = X(K,I) + DT * V(K,I)
   10    CONTINUE
   20 CONTINUE
C
      CALL WALLS
      CALL FORCE
C
      DO 40 I = 1, NP
         DO 30 K = 1, 2
            V(K,I) = V(K,I) + 0.5D0 * DT * A(K,I)
   30    CONTINUE
   40 CONTINUE
      END
