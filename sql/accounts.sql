-- The accounts of the station's database, for MariaDB 10.11 (the README has MySQL 8's role
-- syntax beside it). Run as an administrator after schema.sql; it may be run again.
--   liron36_service   the receiving service: reads everything, writes its records and the
--                     journal, deletes only what auto-clean and the plan editors delete
--   liron36_operator  operators' own tools: hands in setpoints, reads everything
--   liron36_reader    reports and dashboards: reads only
-- Neither the operator nor the reader may change the records or delete the journal.

CREATE ROLE IF NOT EXISTS liron36_service;
GRANT SELECT ON liron36.* TO liron36_service;
GRANT INSERT, UPDATE ON liron36.last_state TO liron36_service;
GRANT INSERT, UPDATE ON liron36.pu_data TO liron36_service;
GRANT INSERT, UPDATE ON liron36.control_log TO liron36_service;
GRANT INSERT, UPDATE ON liron36.setup TO liron36_service;
GRANT INSERT, UPDATE ON liron36.kalibr TO liron36_service;
GRANT INSERT, UPDATE ON liron36.`signal` TO liron36_service;
GRANT INSERT ON liron36.control_vector TO liron36_service;  -- the window's "Установить"
-- Auto-clean deletes old rows of pu_data, control_log and control_vector; the editors of the
-- window rewrite kalibr and signal.
GRANT DELETE ON liron36.pu_data TO liron36_service;
GRANT DELETE ON liron36.control_log TO liron36_service;
GRANT DELETE ON liron36.control_vector TO liron36_service;
GRANT DELETE ON liron36.kalibr TO liron36_service;
GRANT DELETE ON liron36.`signal` TO liron36_service;

CREATE ROLE IF NOT EXISTS liron36_operator;
GRANT SELECT ON liron36.* TO liron36_operator;
GRANT INSERT ON liron36.control_vector TO liron36_operator;

CREATE ROLE IF NOT EXISTS liron36_reader;
GRANT SELECT ON liron36.* TO liron36_reader;

-- The daemon of a local server: the system user liron36 by unix_socket, so its INI holds no
-- password (Comp=/run/mysqld/mysqld.sock, Login=liron36, no Password).
CREATE USER IF NOT EXISTS 'liron36'@'localhost' IDENTIFIED VIA unix_socket;
GRANT liron36_service TO 'liron36'@'localhost';
SET DEFAULT ROLE liron36_service FOR 'liron36'@'localhost';

-- Every setpoint row is dated by the server and signed with the account that inserted it:
-- neither the moment nor the originator that the journal shows can be forged by a client.
-- Inserts that give Now() and USER() themselves, as the service does, are unchanged.
CREATE TRIGGER IF NOT EXISTS liron36.control_vector_signed BEFORE INSERT ON liron36.control_vector
  FOR EACH ROW SET NEW.RecMoment = NOW(), NEW.UserName = LEFT(USER(), 80);
