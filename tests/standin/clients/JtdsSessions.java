// jTDS against the stand-in's logins, databases and locks: a limited login
// reads but may not write, a wrong password and a disabled login are refused,
// USE tells a missing database (911) from one without a user (916), and a
// reader held up by another session's uncommitted change gives up after its
// LOCK_TIMEOUT (1222). Prints one "case=error-number" line per case.
// Usage: java -cp jtds.jar JtdsSessions.java PORT DATABASE
// (the test made the logins jt_reader/Reader-1 and jt_off/Off-1 beforehand).
import java.sql.*;

public class JtdsSessions {
  static String url(String port, String db, String user, String password) {
    return "jdbc:jtds:sqlserver://127.0.0.1:" + port + "/" + db + ";tds=8.0;user=" + user + ";password=" + password;
  }

  // The SQL Server error number a statement ends with, or "ok".
  static String outcome(Connection c, String sql) {
    try (Statement s = c.createStatement()) {
      s.execute(sql);
      while (s.getMoreResults() || s.getUpdateCount() != -1) {}
      return "ok";
    } catch (SQLException e) {
      return String.valueOf(e.getErrorCode());
    }
  }

  static String login(String port, String db, String user, String password) {
    try (Connection c = DriverManager.getConnection(url(port, db, user, password))) {
      return "ok";
    } catch (SQLException e) {
      return String.valueOf(e.getErrorCode());
    }
  }

  public static void main(String[] args) throws Exception {
    Class.forName("net.sourceforge.jtds.jdbc.Driver");
    String port = args[0], db = args[1];
    System.out.println("wrong_password=" + login(port, db, "jt_reader", "wrong"));
    System.out.println("disabled=" + login(port, db, "jt_off", "Off-1"));
    try (Connection reader = DriverManager.getConnection(url(port, db, "jt_reader", "Reader-1"))) {
      System.out.println("reader_select=" + outcome(reader, "SELECT count(*) FROM JtdsLocked"));
      System.out.println("reader_insert=" + outcome(reader, "INSERT INTO JtdsLocked VALUES (9, 'x')"));
      System.out.println("use_missing=" + outcome(reader, "USE no_such_database"));
      System.out.println("use_without_user=" + outcome(reader, "USE model_of_nothing"));
    }
    try (Connection writer = DriverManager.getConnection(url(port, db, "sa", "secret"));
         Connection waiter = DriverManager.getConnection(url(port, db, "sa", "secret"))) {
      writer.setAutoCommit(false);
      System.out.println("writer_update=" + outcome(writer, "UPDATE JtdsLocked SET name = 'held' WHERE id = 1"));
      long start = System.nanoTime();
      System.out.println("lock_timeout=" + outcome(waiter, "SET LOCK_TIMEOUT 300; SELECT name FROM JtdsLocked WHERE id = 1"));
      long waited = (System.nanoTime() - start) / 1_000_000;
      System.out.println("waited_long_enough=" + (waited >= 250));
      writer.rollback();
      System.out.println("after_rollback=" + outcome(waiter, "SELECT name FROM JtdsLocked WHERE id = 1"));
    }
  }
}
