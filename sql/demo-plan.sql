-- The signal plan, calibrations and limits of the demo plant: two JUMO controllers (density
-- and collector level of two circuits, with their setpoints), the V-120 (integral counter,
-- a drive speed and a bunker contact) and the two calculated flags. Replaces what is there.
USE liron36;
SET NAMES utf8mb4;

DELETE FROM `signal`;
INSERT INTO `signal` VALUES
  ('JUMO', 'PLS',    1,  53, 1, 1, 1, 'READ'),
  ('JUMO', 'TNK1',   1,  71, 1, 1, 1, 'READ'),
  ('JUMO', 'PLS2',   2,  53, 1, 1, 1, 'READ'),
  ('JUMO', 'TNK2',   2,  71, 1, 1, 1, 'READ'),
  ('JUMO', '_PLSZ',  1,   8, 1, 1, 1, 'WRITE'),
  ('JUMO', '_URNSZ', 2,   8, 1, 1, 1, 'WRITE'),
  ('CALC', 'RAB',    0,   0, 1, 1, 1, ''),
  ('CALC', 'RN',     0,   0, 1, 1, 1, ''),
  ('V120', 'G_1T1',  1,  52, 2, 0, 0, 'READ'),
  ('V120', 'V1',     1, 111, 0, 0, 0, 'READ'),
  ('V120', 'BKK3',   1,  10, 3, 0, 0, 'READ');

DELETE FROM kalibr;
INSERT INTO kalibr (SignalName, AVal, FVal) VALUES
  -- suspension density, g/cm3: the transmitter's 0..100 % span is 1.0..2.0
  ('PLS',    0, 1.0), ('PLS',    100, 2.0),
  ('PLS2',   0, 1.0), ('PLS2',   100, 2.0),
  -- collector level, %, with the sensor's slight bend near the top
  ('TNK1',   0, 0), ('TNK1',   50, 48), ('TNK1',   100, 100),
  ('TNK2',   0, 0), ('TNK2',   50, 48), ('TNK2',   100, 100),
  -- setpoints are written in physical units as they stand
  ('_PLSZ',  0, 0), ('_PLSZ',  100, 100),
  ('_URNSZ', 0, 0), ('_URNSZ', 100, 100),
  ('RAB',    0, 0), ('RAB',    100, 100),
  ('RN',     0, 0), ('RN',     100, 100),
  -- integral counter: ten pulses a tonne
  ('G_1T1',  0, 0), ('G_1T1',  1000, 100),
  -- drive speed, %: the V-120 analog input counts 0..4000
  ('V1',     0, 0), ('V1',     4000, 100),
  -- bunker contact: 0 or 1
  ('BKK3',   0, 0), ('BKK3',   1, 1);

DELETE FROM setup;
INSERT INTO setup (ConstName, ConstVal, Comment) VALUES
  ('MIN_PLS',  1.2, 'Плотность суспензии, выше которой установка работает, г/см3'),
  ('MIN_NAGR', 10,  'Уровень в сборнике, выше которого установка под нагрузкой, %'),
  ('MAX_G_STEP', 1000000, 'Наибольший шаг показания счетчика V-120, засчитываемый сразу, ед. счетчика');
