C     BLOCK DATA initializing /INIT/; gfortran writes no DWARF for it.
      BLOCK DATA BDINIT
      INTEGER M
      REAL S(2)
      COMMON /INIT/ M, S
      DATA M /7/, S /1.5, 2.5/
      END
