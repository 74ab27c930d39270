C     The blocks bdata.f initializes, and /RESULT/ and /FNORM/, which
C     procs.f has as a SUBROUTINE and a FUNCTION.
      SUBROUTINE MODEL
      REAL G, RHO, MU, R, F
      INTEGER LO, HI
      COMMON /PHYS/ G, RHO, MU
      COMMON /LIMITS/ LO, HI
      COMMON /RESULT/ R(3)
      COMMON /FNORM/ F
      R(1) = G * RHO
      F = MU * REAL(HI - LO)
      END
