C=======================================================================
C     WALLS - collisions with the four walls of the box [0,BOXL]**2.
C     A particle found outside is mirrored back in, and its normal
C     velocity is reversed and scaled by REST.  The kinetic energy that
C     the collision takes away is added to EWALL.
C=======================================================================
      SUBROUTINE WALLS
      IMPLICIT NONE
      INTEGER NP
      PARAMETER (NP = 64)
      DOUBLE PRECISION X, V, A
      COMMON /PART/ X(2,NP), V(2,NP), A(2,NP)
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
      DOUBLE PRECISION EKIN, EPOT, ETOT, EWALL
      COMMON /ENERGY/ EKIN, EPOT, ETOT, EWALL
C
      INTEGER I, K
      DOUBLE PRECISION VOLD
C
      DO 20 I = 1, NP
         DO 10 K = 1, 2
            IF (X(K,I) .LT. 0.0D0) THEN
               X(K,I) = -X(K,I)
            ELSE IF (X(K,I) .GT. BOXL) THEN
               X(K,I) = 2.0D0 * BOXL - X(K,I)
            ELSE
               GO TO 10
            END IF
            VOLD = V(K,I)
            V(K,I) = -REST * VOLD
            EWALL = EWALL + 0.5D0 * (VOLD * VOLD - V(K,I) * V(K,I))
   10    CONTINUE
   20 CONTINUE
      END
