C     DATA on a COMMON variable in an ordinary routine: /TWICE/ initialized here ...
      SUBROUTINE INITA
      INTEGER K(2)
      COMMON /TWICE/ K
      DATA K /1, 2/
      K(1) = K(2)
      END
