      SUBROUTINE RESULT(X)
      REAL X
      X = 0.0
      END
      REAL FUNCTION FNORM(X)
      REAL X
      FNORM = ABS(X)
      END
