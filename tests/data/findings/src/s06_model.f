C     A COMMON block named like a subroutine of another file.
      SUBROUTINE MODEL6
      REAL R(4)
      COMMON /RESULT/ R
      R(1) = 1.0
      END
