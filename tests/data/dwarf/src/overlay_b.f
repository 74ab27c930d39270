C     /C/ seen as one REAL*8 over the two integers of overlay_a.f.
      SUBROUTINE UB
      DOUBLE PRECISION X
      COMMON /C/ X
      X = 1.0D0
      END
