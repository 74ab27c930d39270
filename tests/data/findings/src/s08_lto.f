C     Compiled with -flto: link-time-optimization code, not an object module.
      SUBROUTINE LTO8
      REAL X
      COMMON /LTOB/ X
      X = 1.0
      END
