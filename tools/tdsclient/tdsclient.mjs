// Connects to a SQL Server with tedious and prints a query's rows as JSON:
//   node tdsclient.mjs HOST PORT USER DATABASE "SELECT ..." [--trust-server-certificate]
// The password comes from the environment variable TDSCLIENT_PASSWORD.
// Encryption is always on ("encrypt: true"); the certificate is checked unless
// --trust-server-certificate is given.
import { Connection, Request } from 'tedious';

const [host, port, user, database, sql, ...flags] = process.argv.slice(2);
const connection = new Connection({
  server: host,
  authentication: { type: 'default', options: { userName: user, password: process.env.TDSCLIENT_PASSWORD } },
  options: {
    port: Number(port),
    database,
    encrypt: true,
    trustServerCertificate: flags.includes('--trust-server-certificate'),
    connectTimeout: 15000,
  },
});

connection.on('connect', (error) => {
  if (error) {
    console.error(`connect failed: ${error.message}`);
    process.exit(1);
  }
  const rows = [];
  const request = new Request(sql, (err) => {
    if (err) {
      console.error(`query failed: ${err.message}`);
      process.exit(1);
    }
    console.log(JSON.stringify({ encrypted: connection.config.options.encrypt === true, rows }));
    connection.close();
  });
  request.on('row', (columns) => {
    const row = {};
    for (const c of columns) row[c.metadata.colName] = c.value;
    rows.push(row);
  });
  connection.execSql(request);
});
connection.connect();
