C     Full view of /P/: 80 bytes.
      SUBROUTINE PFULL
      COMMON /P/ A(10), B(10)
      A(1) = B(10)
      END
