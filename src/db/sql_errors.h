// Which errors of the server or the client library say "not now" rather than "not this".
#pragma once

namespace liron {

// Errors that say the server cannot take anything now, or may have taken the statement
// without the answer arriving: the link lost or never there (0: no handle; every client-side
// error, 2000-2999, among them 2006 and 2013), the server shutting down (1053), a full disk or
// table (1021, 1114), read-only (1290), a lock wait time-out or a deadlock (1205, 1213), the
// statement or the connection killed (1317, 1927), a MySQL 8 server that dropped an idle client
// (4031). Both the write queue and the forwarder of the spool keep a statement refused with one
// of them, in order, for a later try; any other error refuses the statement for its content.
bool IsTransientSqlError(unsigned code);

}  // namespace liron
