// A second, independent client for the stand-in: jTDS (a pure-Java TDS driver,
// Debian's libjtds-java) speaking TDS 7.1 ("TDS 8.0" in its terms). Creates a table
// of every SQL Server type, fills it with literals and with parameters, reads it
// back and prints one "row.column=value" line per value for the test to compare.
// Usage: java -cp jtds.jar JtdsRoundTrip.java PORT DATABASE
import java.math.BigDecimal;
import java.sql.*;

public class JtdsRoundTrip {
  static String show(Object v) throws SQLException {
    if (v == null) return "NULL";
    if (v instanceof Clob) return ((Clob) v).getSubString(1, (int) ((Clob) v).length());
    if (v instanceof Blob) v = ((Blob) v).getBytes(1, (int) ((Blob) v).length());
    if (v instanceof byte[]) {
      StringBuilder b = new StringBuilder("0x");
      for (byte x : (byte[]) v) b.append(String.format("%02X", x));
      return b.toString();
    }
    return v.toString();
  }

  public static void main(String[] args) throws Exception {
    Class.forName("net.sourceforge.jtds.jdbc.Driver");
    String url = "jdbc:jtds:sqlserver://127.0.0.1:" + args[0] + "/" + args[1] + ";tds=8.0;user=sa;password=secret";
    try (Connection c = DriverManager.getConnection(url)) {
      System.out.println("product=" + c.getMetaData().getDatabaseProductName());
      Statement s = c.createStatement();
      s.execute("CREATE TABLE JtdsTypes (id int NOT NULL PRIMARY KEY, i int, si smallint, ti tinyint, bi bigint, b bit,"
          + " d decimal(10,2), n numeric(18,0), m money, sm smallmoney, f float, r real, dt datetime,"
          + " sdt smalldatetime, da date, tm time(3), dt2 datetime2, dto datetimeoffset, c char(5), vc varchar(20),"
          + " nc nchar(5), nvc nvarchar(20), vcm varchar(max), nvcm nvarchar(max), t text, nt ntext, bn binary(3),"
          + " vb varbinary(8), vbm varbinary(max), img image, g uniqueidentifier, v sql_variant, x xml, h hierarchyid,"
          + " he varchar(10) COLLATE Hebrew_CI_AI, zh varchar(10) COLLATE Chinese_PRC_CI_AS,"
          + " ru varchar(10) COLLATE Cyrillic_General_CI_AS, empty varbinary(4))");
      s.execute("INSERT INTO JtdsTypes VALUES (1, -123456, -1234, 200, 9007199254740993, 1, 12345678.91,"
          + " 123456789012345678, -922337203685477.5808, 214748.3647, 3.5, 1.5, '2024-02-29 13:45:30.123',"
          + " '2024-02-29 13:46', '2024-02-29', '13:45:30.123', '2024-02-29 13:45:30.1234567',"
          + " '2024-02-29 13:45:30.1234567 +05:30', 'abc', 'O''Brien', N'été', N'Grüße €', 'max text', N'max ntext €',"
          + " 'long text', N'ntext €', 0x00ABCD, 0x0102FE, 0xCAFE, 0x89504E47,"
          + " '6F9619FF-8B86-D011-B42D-00C04FC964FF', 42, N'<a>é</a>', '/1/2/', N'שלום', N'中文', N'Привет', 0x)");
      s.execute("INSERT INTO JtdsTypes (id) VALUES (2)");
      try (PreparedStatement p = c.prepareStatement(
               "INSERT INTO JtdsTypes (id, i, d, dt, nvc, vb, he, zh, ru, v) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")) {
        p.setInt(1, 3);
        p.setInt(2, 77);
        p.setBigDecimal(3, new BigDecimal("-0.05"));
        p.setTimestamp(4, Timestamp.valueOf("2001-02-03 04:05:06.007"));
        p.setString(5, "parameter ü");
        p.setBytes(6, new byte[] {1, 2, 3});
        p.setString(7, "עברית");
        p.setString(8, "汉字");
        p.setString(9, "Москва");
        p.setString(10, "variant text");
        p.executeUpdate();
      }
      c.setAutoCommit(false);
      s.execute("INSERT INTO JtdsTypes (id) VALUES (4)");
      c.rollback();
      c.setAutoCommit(true);
      try (ResultSet rs = s.executeQuery("SELECT * FROM JtdsTypes ORDER BY id")) {
        ResultSetMetaData md = rs.getMetaData();
        while (rs.next()) {
          for (int k = 2; k <= md.getColumnCount(); ++k)
            System.out.println(rs.getInt(1) + "." + md.getColumnName(k) + "=" + show(rs.getObject(k)));
        }
      }
      try (ResultSet rs = s.executeQuery("SELECT @@MAX_PRECISION, count(*) FROM JtdsTypes")) {
        rs.next();
        System.out.println("max_precision=" + rs.getInt(1) + " rows=" + rs.getInt(2));
      }
      try (ResultSet rs = c.getMetaData().getColumns(null, null, "JtdsTypes", "v")) {
        while (rs.next()) System.out.println("catalog.v=" + rs.getString("TYPE_NAME") + " " + rs.getInt("DATA_TYPE"));
      }
      s.execute("CREATE PROCEDURE JtdsScale @value int, @label nvarchar(10) = N'none', @doubled int OUTPUT AS"
          + " BEGIN SET NOCOUNT ON; SELECT @label + N'/' + CAST(@value AS nvarchar(10)); SET @doubled = @value * 2;"
          + " RETURN 7 END");
      try (CallableStatement call = c.prepareCall("{? = call JtdsScale(?, ?, ?)}")) {
        call.registerOutParameter(1, Types.INTEGER);
        call.setInt(2, 21);
        call.setString(3, "tag");
        call.registerOutParameter(4, Types.INTEGER);
        try (ResultSet rs = call.executeQuery()) {
          while (rs.next()) System.out.println("call.row=" + rs.getString(1));
        }
        while (call.getMoreResults() || call.getUpdateCount() != -1) {
        }
        System.out.println("call.status=" + call.getInt(1) + " call.out=" + call.getInt(4));
      }
      try {
        s.executeQuery("SELECT CONVERT(datetime, 'not a date')");
      } catch (SQLException e) {
        System.out.println("error=" + e.getErrorCode() + " " + e.getMessage());
      }
    }
  }
}
