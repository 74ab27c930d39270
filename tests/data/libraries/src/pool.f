C     POOL - a subroutine named like the COMMON block /POOL/ of step.f.
      SUBROUTINE POOL(A)
      REAL A
      REAL S
      COMMON /SUM/ S
      S = S + A
      END
