C     EQUIVALENCE extends /EQB/ from 16 to 40 bytes.
      SUBROUTINE EQV
      REAL A, B
      DIMENSION A(4), B(10)
      COMMON /EQB/ A
      EQUIVALENCE (A(1), B(1))
      B(10) = 1.0
      END
