C     Only the first 40 bytes of /P/.
      SUBROUTINE PHEAD
      COMMON /P/ A(10)
      A(10) = 0.0
      END
