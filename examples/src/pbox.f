C=======================================================================
C     PBOX - point particles in a two-dimensional box
C
C     NP particles of unit mass start on a lattice in the upper half of
C     a square box of side BOXL with random velocities, fall under
C     gravity, feel a linear drag and a soft repulsion between close
C     pairs, and bounce off the walls, losing part of their normal
C     velocity (coefficient of restitution REST).  Positions and
C     velocities are advanced with the velocity Verlet scheme; every
C     NOUT steps the energies are printed.
C
C     Source files
C       pbox.f      this main program
C       pbdata.f    BLOCK DATA: run parameters, pair constants
C       init.f      SETUP (initial state), RANU (random numbers)
C       verlet.f    VERLET (one time step)
C       force.f     FORCE (accelerations)
C       walls.f     WALLS (collisions with the walls)
C       diag.f      DIAG (energies)
C       report.f90  REPORT (printed output)
C
C     COMMON blocks
C       /PART/    positions, velocities, accelerations
C       /SIMPAR/  run parameters (set in PBDATA)
C       /PAIR/    pair repulsion constants (set in PBDATA)
C       /ENERGY/  energies computed by DIAG
C
C     This program is the Quorv example: it is written to contain
C     two COMMON block faults, see examples/README.md.
C=======================================================================
      PROGRAM PBOX
      IMPLICIT NONE
      INTEGER NP
      PARAMETER (NP = 64)
      DOUBLE PRECISION X, V, A
      COMMON /PART/ X(2,NP), V(2,NP), A(2,NP)
      DOUBLE PRECISION DT, GRAV, DRAG, BOXL, REST
      INTEGER NSTEP, NOUT
      COMMON /SIMPAR/ DT, GRAV, DRAG, BOXL, REST, NSTEP, NOUT
      DOUBLE PRECISION EKIN, EPOT, ETOT
      COMMON /ENERGY/ EKIN, EPOT, ETOT
C
      INTEGER ISTEP, I
      DOUBLE PRECISION E0, YMEAN
C
      CALL SETUP(20231)
      CALL FORCE
      CALL DIAG
      E0 = ETOT
      CALL REPORT(0)
C
      DO 10 ISTEP = 1, NSTEP
         CALL VERLET
         IF (MOD(ISTEP, NOUT) .EQ. 0) THEN
            CALL DIAG
            CALL REPORT(ISTEP)
         END IF
   10 CONTINUE
C
C     Drag and the walls only take energy out; the mean height shows
C     how far the particles have settled.
      YMEAN = 0.0D0
      DO 20 I = 1, NP
         YMEAN = YMEAN + X(2,I)
   20 CONTINUE
      YMEAN = YMEAN / NP
      WRITE (*, 900) E0 - ETOT, YMEAN
  900 FORMAT (' ENERGY LOST ', ES12.4, '   MEAN HEIGHT ', F8.4)
      END
