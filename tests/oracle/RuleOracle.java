import com.healthmarketscience.jackcess.*;
import java.io.*;
import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.time.LocalDate;
import java.time.LocalDateTime;
import java.time.format.DateTimeFormatter;
import java.util.*;

/**
 * Applies writes to an Access file through the independent library in ../shared/oracle, with its
 * expression evaluation (default values, validation rules) and its relationship enforcement
 * switched on, and prints what it made of each: a test oracle for the engine's rules.
 *
 * <pre>
 *   java -cp jetcheck.jar:DIR RuleOracle FILE &lt; COMMANDS
 * </pre>
 * One command a line; values are JSON objects of column values as `jetdb export --format jsonl`
 * writes them (dates "YYYY-MM-DDTHH:MM:SS", binary as hex):
 * <pre>
 *   insert TABLE {"Col": value, ...}        columns left out get what the library gives them
 *   update TABLE {match} {"Col": value}     every row whose named columns equal the match
 *   delete TABLE {match}                    every row that matches
 *   property TABLE COLUMN NAME VALUE        a design property; COLUMN * is the table's own;
 *                                           true/false for Required and AllowZeroLength
 *   dump TABLE                              the rows, one "row {...}" a line, then "end"
 *   open FILE                               goes on with another file (the first one is closed)
 * </pre>
 * Prints per write "ok N" (rows written) or "refused CLASS: MESSAGE" when the library refuses
 * it, and "error: ..." for a command it cannot read. The file is written in place.
 */
public class RuleOracle {
  public static void main(String[] args) throws Exception {
    System.setProperty(Database.ENABLE_EXPRESSION_EVALUATION_PROPERTY, "true");
    BufferedReader in = new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8));
    PrintStream out = new PrintStream(System.out, true, "UTF-8");
    Database db = open(args[0]);
    try {
      for (String line; (line = in.readLine()) != null; ) {
        if (line.isBlank()) continue;
        if (line.startsWith("open ")) {
          db.close();
          db = open(line.substring(5));
          out.println("ok 0");
          continue;
        }
        try {
          out.println(run(db, line, out));
        } catch (CommandError e) {
          out.println("error: " + e.getMessage());
        } catch (IOException | RuntimeException e) {
          out.println("refused " + e.getClass().getSimpleName() + ": " + e.getMessage());
        }
      }
    } finally {
      db.close();
    }
  }

  static Database open(String path) throws IOException {
    Database db = new DatabaseBuilder(new File(path)).open();
    db.setDateTimeType(DateTimeType.LOCAL_DATE_TIME);
    db.setEvaluateExpressions(true);
    db.setEnforceForeignKeys(true);
    return db;
  }

  static String run(Database db, String line, PrintStream out) throws IOException {
    String[] words = line.split(" ", 3);
    if (words.length < 2) return "error: no table in " + line;
    Table table = db.getTable(words[1]);
    if (table == null) return "error: no table " + words[1];
    String rest = words.length > 2 ? words[2] : "";
    switch (words[0]) {
      case "insert": {
        table.addRowFromMap(values(table, new Json(rest).object()));
        return "ok 1";
      }
      case "update":
      case "delete": {
        Json json = new Json(rest);
        Map<String, Object> match = values(table, json.object());
        Map<String, Object> changes = words[0].equals("update") ? values(table, json.object()) : null;
        int n = 0;
        Cursor cursor = CursorBuilder.createCursor(table);
        for (Row row : cursor) {
          if (!matches(table, row, match)) continue;
          if (changes == null) {
            cursor.deleteCurrentRow();
          } else {
            cursor.updateCurrentRowFromMap(new LinkedHashMap<>(changes));
          }
          n++;
        }
        return "ok " + n;
      }
      case "property": {
        String[] p = rest.split(" ", 3);
        if (p.length < 3) return "error: property needs COLUMN NAME VALUE";
        PropertyMap props = p[0].equals("*") ? table.getProperties() : table.getColumn(p[0]).getProperties();
        boolean flag = p[1].equals("Required") || p[1].equals("AllowZeroLength");
        props.put(p[1], flag ? (Object) Boolean.valueOf(p[2]) : p[2]);
        props.save();
        return "ok 0";
      }
      case "dump": {
        for (Row row : table) {
          StringBuilder s = new StringBuilder("row {");
          for (Column c : table.getColumns()) {
            if (s.length() > 5) s.append(", ");
            s.append(quote(c.getName())).append(": ").append(text(row.get(c.getName())));
          }
          out.println(s.append("}"));
        }
        return "end";
      }
      default:
        return "error: unknown command " + words[0];
    }
  }

  static boolean matches(Table table, Row row, Map<String, Object> match) {
    for (Map.Entry<String, Object> e : match.entrySet()) {
      if (!text(row.get(table.getColumn(e.getKey()).getName())).equals(text(e.getValue()))) return false;
    }
    return true;
  }

  /** JSON values as the Java values of their columns' types. */
  static Map<String, Object> values(Table table, Map<String, Object> json) {
    Map<String, Object> out = new LinkedHashMap<>();
    for (Map.Entry<String, Object> e : json.entrySet()) {
      Column c;
      try {
        c = table.getColumn(e.getKey());
      } catch (IllegalArgumentException missing) {
        throw new CommandError("no column " + e.getKey() + " in " + table.getName());
      }
      Object v = e.getValue();
      String s = v == null ? null : v.toString();
      Object value;
      if (v == null) value = null;
      else switch (c.getType()) {
        case BOOLEAN: value = v instanceof Boolean ? v : Boolean.valueOf(s); break;
        case BYTE: value = Byte.valueOf((byte) Integer.parseInt(s)); break;
        case INT: value = Short.valueOf(s); break;
        case LONG: value = Integer.valueOf(s); break;
        case FLOAT: value = Float.valueOf(s); break;
        case DOUBLE: value = Double.valueOf(s); break;
        case MONEY: case NUMERIC: value = new BigDecimal(s); break;
        case SHORT_DATE_TIME:
          value = s.length() <= 10 ? LocalDate.parse(s).atStartOfDay() : LocalDateTime.parse(s.replace(' ', 'T'));
          break;
        case BINARY: case OLE: value = hex(s); break;
        default: value = s;
      }
      out.put(c.getName(), value);
    }
    return out;
  }

  static byte[] hex(String s) {
    byte[] b = new byte[s.length() / 2];
    for (int i = 0; i < b.length; i++) b[i] = (byte) Integer.parseInt(s.substring(2 * i, 2 * i + 2), 16);
    return b;
  }

  /** A stored value as text that compares alike whichever engine wrote it. */
  static String text(Object v) {
    if (v == null) return "null";
    if (v instanceof String) return quote((String) v);
    if (v instanceof LocalDateTime) return quote(((LocalDateTime) v).format(DateTimeFormatter.ISO_LOCAL_DATE) + "T"
        + ((LocalDateTime) v).format(DateTimeFormatter.ofPattern("HH:mm:ss")));
    if (v instanceof BigDecimal) return ((BigDecimal) v).stripTrailingZeros().toPlainString();
    if (v instanceof Double || v instanceof Float) {
      double d = ((Number) v).doubleValue();
      return d == Math.rint(d) && Math.abs(d) < 1e15 ? Long.toString((long) d) : v.toString();
    }
    if (v instanceof byte[]) {
      StringBuilder s = new StringBuilder("\"");
      for (byte b : (byte[]) v) s.append(String.format("%02X", b));
      return s.append('"').toString();
    }
    return v.toString();
  }

  static String quote(String s) {
    StringBuilder b = new StringBuilder("\"");
    for (char c : s.toCharArray()) {
      if (c == '"' || c == '\\') b.append('\\').append(c);
      else if (c < 0x20) b.append(String.format("\\u%04x", (int) c));
      else b.append(c);
    }
    return b.append('"').toString();
  }

  /** A command this helper cannot read (not a refusal of the library). */
  static final class CommandError extends RuntimeException {
    CommandError(String message) { super(message); }
  }

  /** A reader of flat JSON objects (strings, numbers, true, false, null). */
  static final class Json {
    private final String s;
    private int at;

    Json(String s) { this.s = s; }

    Map<String, Object> object() {
      Map<String, Object> out = new LinkedHashMap<>();
      expect('{');
      if (peek() == '}') { at++; return out; }
      do {
        String key = string();
        expect(':');
        out.put(key, value());
      } while (take(','));
      expect('}');
      return out;
    }

    private Object value() {
      char c = peek();
      if (c == '"') return string();
      if (s.startsWith("null", at)) { at += 4; return null; }
      if (s.startsWith("true", at)) { at += 4; return Boolean.TRUE; }
      if (s.startsWith("false", at)) { at += 5; return Boolean.FALSE; }
      int start = at;
      while (at < s.length() && "+-.0123456789eE".indexOf(s.charAt(at)) >= 0) at++;
      if (start == at) throw new CommandError("not a JSON value at " + start + ": " + s);
      return s.substring(start, at);
    }

    private String string() {
      expect('"');
      StringBuilder b = new StringBuilder();
      while (s.charAt(at) != '"') {
        char c = s.charAt(at++);
        if (c == '\\') {
          char e = s.charAt(at++);
          if (e == 'u') { b.append((char) Integer.parseInt(s.substring(at, at + 4), 16)); at += 4; }
          else b.append(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e);
        } else {
          b.append(c);
        }
      }
      at++;
      return b.toString();
    }

    private char peek() {
      while (at < s.length() && Character.isWhitespace(s.charAt(at))) at++;
      if (at >= s.length()) throw new CommandError("JSON ends early: " + s);
      return s.charAt(at);
    }

    private boolean take(char c) {
      if (peek() != c) return false;
      at++;
      return true;
    }

    private void expect(char c) {
      if (!take(c)) throw new CommandError("expected " + c + " at " + at + ": " + s);
    }
  }
}
