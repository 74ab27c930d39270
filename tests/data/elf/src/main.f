      PROGRAM MAIN
      REAL C
      COMMON /COEF/ C(10)
      CALL SOLVE(1)
      PRINT *, C(1)
      END
