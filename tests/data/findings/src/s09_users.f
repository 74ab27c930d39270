      SUBROUTINE USERS9
      DOUBLE PRECISION P(2)
      REAL L(16)
      COMMON /PARAMS/ P
      COMMON /LIMS/ L
      P(1) = L(16)
      END
