C=======================================================================
C     SETUP - initial state.  The NP particles sit on a square lattice
C     of NSIDE x NSIDE points in the upper half of the box; each
C     velocity component is uniform in (-VMAX, VMAX).  ISEED starts the
C     random number sequence, so a run is repeatable.
C=======================================================================
      SUBROUTINE SETUP(ISEED)
      IMPLICIT NONE
      INTEGER ISEED
      INTEGER NP, NSIDE
      PARAMETER (NP = 64, NSIDE = 8)
      DOUBLE PRECISION VMAX
      PARAMETER (VMAX = 0.5D0)
      DOUBLE PRECISION X, V, A
      COMMON /PART/ X(2,NP), V(2,NP), A(2,NP)
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
C
      DOUBLE PRECISION RANU
      EXTERNAL RANU
      INTEGER I, IS, IX, IY
      DOUBLE PRECISION HX, HY
C
      IS = ISEED
      HX = BOXL / (NSIDE + 1)
      HY = 0.5D0 * BOXL / (NSIDE + 1)
      DO 10 I = 1, NP
         IX = MOD(I - 1, NSIDE) + 1
         IY = (I - 1) / NSIDE + 1
         X(1,I) = IX * HX
         X(2,I) = 0.5D0 * BOXL + IY * HY
         V(1,I) = VMAX * (2.0D0 * RANU(IS) - 1.0D0)
         V(2,I) = VMAX * (2.0D0 * RANU(IS) - 1.0D0)
         A(1,I) = 0.0D0
         A(2,I) = 0.0D0
   10 CONTINUE
      END
C
C=======================================================================
C     RANU - uniform random number in (0,1): the minimal standard
C     multiplicative generator (multiplier 16807, modulus 2**31-1),
C     computed without overflow by Schrage's method.  IS is the state
C     and must start in 1 .. 2**31-2.
C=======================================================================
      DOUBLE PRECISION FUNCTION RANU(IS)
      IMPLICIT NONE
      INTEGER IS
      INTEGER M, IA, IQ, IR
      PARAMETER (M = 2147483647, IA = 16807, IQ = 127773, IR = 2836)
      INTEGER K
C
      K = IS / IQ
      IS = IA * (IS - K * IQ) - IR * K
      IF (IS .LE. 0) IS = IS + M
      RANU = DBLE(IS) / DBLE(M)
      END
