C     STEP - one time step.  /GRID/ is 6 REALs here (24 bytes), /CTRL/
C     agrees with HEAT and CTRLBD, and /POOL/ shares its name with the
C     subroutine POOL in pool.f.
      SUBROUTINE STEP
      REAL X
      COMMON /GRID/ X(6)
      INTEGER N
      REAL DT
      COMMON /CTRL/ N, DT
      REAL W
      COMMON /POOL/ W(2)
      INTEGER I
      DO 10 I = 1, N
         X(I) = X(I) + DT * W(1)
   10 CONTINUE
      END
