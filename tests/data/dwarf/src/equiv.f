C     K and A share offset 0 of /EQ/ through EQUIVALENCE; B follows.
      SUBROUTINE EQV
      REAL A, B
      INTEGER K
      COMMON /EQ/ A, B
      EQUIVALENCE (A, K)
      K = 3
      B = A
      END
