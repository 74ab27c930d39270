C     Two routines of one file see /E/ with different lengths.
      SUBROUTINE EFIVE
      REAL E(5)
      COMMON /E/ E
      E(5) = 5.0
      END
      SUBROUTINE ETHREE
      REAL E(3)
      COMMON /E/ E
      E(3) = 3.0
      END
