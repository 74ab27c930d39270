C     BLOCK DATA: /PHYS/ and /LIMITS/ become defined data, no COMMON symbol.
      BLOCK DATA PHYSDT
      REAL G, RHO, MU
      INTEGER LO, HI
      COMMON /PHYS/ G, RHO, MU
      COMMON /LIMITS/ LO, HI
      DATA G, RHO, MU /9.81, 1.2, 1.8E-5/
      DATA LO, HI /1, 100/
      END
