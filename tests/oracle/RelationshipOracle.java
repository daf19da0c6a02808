// Test oracle for relationships: runs row changes on an Access file with the
// independent Access-file library in ../shared/oracle/jetcheck.jar, which
// enforces the relationships of the file's tables, and prints each table's
// rows in one form, so that a test can compare the library's outcome with
// ours. Run with Java's source launcher:
//
//   java -cp jetcheck.jar:commons-lang3.jar:commons-logging.jar RelationshipOracle.java \
//       COMMAND FILE [FILE...] < OPS
//
// Commands:
//   relate FILE   reads lines "NAME REFERENCED REFERENCING FLAGS refcol=col[,refcol=col...]"
//                 (FLAGS: "enforce", "cascade-updates", "cascade-deletes", "set-null", joined
//                 by "+") and adds each relationship to FILE
//   run FILE      reads one change a line and applies it to FILE, printing "ok" or
//                 "refused" for each:
//                   insert TABLE col=val ...
//                   update TABLE col=val SET col=val ...   (the rows where col = val)
//                   delete TABLE col=val                    (the rows where col = val)
//                 val: null, an integer, 'text' (no blanks) or #yyyy-mm-dd#
//   dump FILE...  prints "== FILE", then per user table "table NAME" and its rows sorted,
//                 each "col=val|col=val|..."
import com.healthmarketscience.jackcess.*;
import java.io.*;
import java.util.*;

public class RelationshipOracle {
  static Object parseValue(String text) {
    if (text.equals("null")) return null;
    if (text.startsWith("#") && text.endsWith("#") && text.length() >= 2) {
      return java.time.LocalDate.parse(text.substring(1, text.length() - 1)).atStartOfDay();
    }
    if (text.startsWith("'") && text.endsWith("'") && text.length() >= 2) {
      return text.substring(1, text.length() - 1);
    }
    return Integer.valueOf(text);
  }

  static Map<String, Object> pairs(String[] words, int from, int to) {
    Map<String, Object> map = new LinkedHashMap<>();
    for (int i = from; i < to; ++i) {
      int eq = words[i].indexOf('=');
      map.put(words[i].substring(0, eq), parseValue(words[i].substring(eq + 1)));
    }
    return map;
  }

  static boolean matches(Row row, Map<String, Object> where) {
    for (Map.Entry<String, Object> e : where.entrySet()) {
      Object v = row.get(e.getKey());
      if (v == null || e.getValue() == null) return false;
      if (v instanceof Number && e.getValue() instanceof Number) {
        if (((Number) v).longValue() != ((Number) e.getValue()).longValue()) return false;
      } else if (!v.toString().equalsIgnoreCase(e.getValue().toString())) {
        return false;
      }
    }
    return true;
  }

  static void apply(Database db, String line) throws IOException {
    String[] words = line.trim().split("\\s+");
    Table table = db.getTable(words[1]);
    if (words[0].equals("insert")) {
      table.addRowFromMap(pairs(words, 2, words.length));
      return;
    }
    int set = Arrays.asList(words).indexOf("SET");
    Map<String, Object> where = pairs(words, 2, set < 0 ? words.length : set);
    Map<String, Object> changes = set < 0 ? null : pairs(words, set + 1, words.length);
    Cursor cursor = CursorBuilder.createCursor(table);
    for (Row row = cursor.getNextRow(); row != null; row = cursor.getNextRow()) {
      if (!matches(row, where)) continue;
      if (words[0].equals("delete")) {
        cursor.deleteCurrentRow();
      } else {
        cursor.updateCurrentRowFromMap(new LinkedHashMap<>(changes));
      }
    }
  }

  static void relate(Database db, String line) throws IOException {
    String[] words = line.trim().split("\\s+");
    RelationshipBuilder builder = new RelationshipBuilder(words[1], words[2]).setName(words[0]);
    for (String flag : words[3].split("\\+")) {
      switch (flag) {
        case "enforce": builder.setReferentialIntegrity(); break;
        case "cascade-updates": builder.setCascadeUpdates(); break;
        case "cascade-deletes": builder.setCascadeDeletes(); break;
        case "set-null": builder.setCascadeNullOnDelete(); break;
        default: throw new IllegalArgumentException("flag " + flag);
      }
    }
    for (String pair : words[4].split(",")) {
      int eq = pair.indexOf('=');
      builder.addColumns(pair.substring(0, eq), pair.substring(eq + 1));
    }
    builder.toRelationship(db);
  }

  static String show(Object v) {
    if (v == null) return "null";
    if (v instanceof String) return "'" + v + "'";
    if (v instanceof Number && !(v instanceof Double) && !(v instanceof Float)) {
      return Long.toString(((Number) v).longValue());
    }
    return v.toString();
  }

  static void dump(File file) throws IOException {
    System.out.println("== " + file.getName());
    try (Database db = new DatabaseBuilder(file).setReadOnly(true).open()) {
      db.setDateTimeType(DateTimeType.LOCAL_DATE_TIME);
      for (String name : new TreeSet<>(db.getTableNames())) {
        System.out.println("table " + name);
        List<String> rows = new ArrayList<>();
        for (Row row : db.getTable(name)) {
          StringBuilder s = new StringBuilder();
          for (Map.Entry<String, Object> e : row.entrySet()) {
            s.append(e.getKey()).append('=').append(show(e.getValue())).append('|');
          }
          rows.add(s.toString());
        }
        Collections.sort(rows);
        for (String row : rows) System.out.println(row);
      }
    }
  }

  public static void main(String[] args) throws IOException {
    BufferedReader in = new BufferedReader(new InputStreamReader(System.in, "UTF-8"));
    if (args[0].equals("dump")) {
      for (int i = 1; i < args.length; ++i) dump(new File(args[i]));
      return;
    }
    try (Database db = new DatabaseBuilder(new File(args[1])).setAutoSync(false).open()) {
      // Relationships only: default values and validation rules have an oracle of their own.
      db.setEvaluateExpressions(false);
      db.setDateTimeType(DateTimeType.LOCAL_DATE_TIME);
      for (String line = in.readLine(); line != null; line = in.readLine()) {
        if (line.isBlank()) continue;
        if (args[0].equals("relate")) {
          relate(db, line);
          continue;
        }
        try {
          apply(db, line);
          System.out.println("ok");
        } catch (ConstraintViolationException e) {
          System.out.println("refused");
        }
      }
    }
  }
}
