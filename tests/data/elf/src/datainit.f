C     /TABLE/ in two routines, initialized by DATA in the second one.
      SUBROUTINE TUSE(I, X)
      INTEGER I
      REAL X, T
      COMMON /TABLE/ T(10)
      X = T(I)
      END
      SUBROUTINE TINIT
      REAL T
      COMMON /TABLE/ T(10)
      DATA T /10*0.5/
      T(1) = 1.0
      END
