C     A one-element view of /BIG/.
      SUBROUTINE BIGONE
      REAL W(1)
      COMMON /BIG/ W
      W(1) = 1.0
      END
