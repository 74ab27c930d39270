      SUBROUTINE RESULT
      PRINT *, 'result'
      END
