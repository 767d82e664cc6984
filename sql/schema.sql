-- The database of the receiving service: the signal plan with its calibrations, the setup
-- constants, the current-state row, the per-minute rows, the setpoints and the journal.
-- Safe to run again: nothing that exists is dropped or changed.
CREATE DATABASE IF NOT EXISTS liron36 CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE liron36;

-- The signal plan. Exactly these eight columns in this order: the service inserts rows
-- without naming the columns. SignalName is also a column of last_state and pu_data, and
-- column names are compared without regard to case, so it is the key.
CREATE TABLE IF NOT EXISTS `signal` (
  BusName      CHAR(10) NOT NULL,
  SignalName   CHAR(20) NOT NULL,
  DevNum       SMALLINT,
  Addr         INTEGER,
  Kind         SMALLINT,
  InverseBytes SMALLINT,
  InverseWords SMALLINT,
  Direction    CHAR(10),
  PRIMARY KEY (SignalName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Calibration points: hardware value AVal gives physical value FVal.
CREATE TABLE IF NOT EXISTS kalibr (
  SignalName CHAR(20) NOT NULL,
  AVal       DOUBLE,
  FVal       DOUBLE,
  KEY kalibr_signal (SignalName, AVal)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Named constants the plant engineers may change (MIN_PLS, MIN_NAGR, MAX_G_STEP).
CREATE TABLE IF NOT EXISTS setup (
  ConstName VARCHAR(40) NOT NULL,
  ConstVal  DOUBLE,
  Comment   VARCHAR(255),
  KEY setup_name (ConstName)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- The current state: exactly one row, rewritten every second. One column per signal of the
-- plan that is not a WRITE signal.
CREATE TABLE IF NOT EXISTS last_state (
  RecMoment DATETIME,
  I_1T1     DOUBLE,
  PLS       DOUBLE,
  TNK1      DOUBLE,
  PLS2      DOUBLE,
  TNK2      DOUBLE,
  RAB       DOUBLE,
  RN        DOUBLE,
  G_1T1     DOUBLE,
  V1        DOUBLE,
  BKK3      DOUBLE,
  KEY last_state_moment (RecMoment)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- One row per minute (seconds 00). The master list of signal names: an empty plan is built
-- from these columns, in this order. The service writes one row a minute also where an older
-- database has no unique key here.
CREATE TABLE IF NOT EXISTS pu_data (
  RecMoment DATETIME NOT NULL,
  I_1T1     DOUBLE,
  PLS       DOUBLE,
  TNK1      DOUBLE,
  PLS2      DOUBLE,
  TNK2      DOUBLE,
  _PLSZ     DOUBLE,
  _URNSZ    DOUBLE,
  RAB       DOUBLE,
  RN        DOUBLE,
  G_1T1     DOUBLE,
  V1        DOUBLE,
  BKK3      DOUBLE,
  UNIQUE KEY pu_data_moment (RecMoment)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Setpoints handed in by any client. Exactly these four columns in this order.
CREATE TABLE IF NOT EXISTS control_vector (
  RecMoment DATETIME,
  UserName  VARCHAR(80),
  _PLSZ     DOUBLE,
  _URNSZ    DOUBLE,
  KEY control_vector_moment (RecMoment)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- The journal an operator of the plant reads. NPP separates records of the same moment.
CREATE TABLE IF NOT EXISTS control_log (
  RecMoment   DATETIME,
  NPP         INTEGER,
  MessageText VARCHAR(1000),
  MessageKind VARCHAR(80) NULL,
  KEY control_log_moment (RecMoment, NPP)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
