#include "sql/convert.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "strings/ascii.h"
#include "strings/decimal.h"

namespace sql {
namespace {

using strings::IsDecimalText;
using strings::ParseScaled;
using strings::Scaled;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

std::string TypeName(const jet::ColumnDef& column) {
  switch (column.type) {
    case jet::ColumnType::kBoolean: return "Yes/No";
    case jet::ColumnType::kDateTime: return "Date/Time";
    default: return jet::ColumnTypeName(column.type);
  }
}

Converted Fail(ConvertFailure failure, const jet::TableDef& table, const jet::ColumnDef& column,
               const Literal& literal) {
  Converted out;
  out.failure = failure;
  const std::string where =
      "column " + table.name + "." + column.name + " (" + TypeName(column) + ")";
  switch (failure) {
    case ConvertFailure::kOverflow:
      out.description = "Overflow: the value " + literal.Display() + " does not fit " + where;
      break;
    case ConvertFailure::kNotSupported:
      out.description =
          where + " cannot be written by SQL; only Null is accepted, not " + literal.Display();
      break;
    default:
      out.description =
          "Data type mismatch: " + where + " cannot take the value " + literal.Display();
  }
  return out;
}

Converted Ok(jet::Value value) {
  Converted out;
  out.value = value;
  return out;
}

// The range and kind of a whole-number column (Byte, Integer, Long, Currency).
struct IntegerRange {
  int64_t low;
  int64_t high;
  jet::Value::Kind kind;
};

IntegerRange RangeOf(jet::ColumnType type) {
  switch (type) {
    case jet::ColumnType::kByte: return {0, 255, jet::Value::Kind::kByte};
    case jet::ColumnType::kInteger: return {-32768, 32767, jet::Value::Kind::kInteger};
    case jet::ColumnType::kLong:
      return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
              jet::Value::Kind::kLong};
    default:
      return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
              jet::Value::Kind::kCurrency};
  }
}

// One literal for one column: a conversion to each kind of column type.
class LiteralConversion {
 public:
  LiteralConversion(const jet::TableDef& table, const jet::ColumnDef& column,
                    const Literal& literal)
      : table_(table), column_(column), literal_(literal), trimmed_(Trim(literal.text)) {}

  Converted Fail(ConvertFailure failure) const {
    return sql::Fail(failure, table_, column_, literal_);
  }

  Converted ToText(std::deque<std::string>* arena) const {
    std::string text;
    if (literal_.kind == Kind::kBoolean) {
      text = literal_.boolean ? "-1" : "0";
    } else if (literal_.kind == Kind::kDate) {
      double ole = 0;
      if (!ParseDateTimeText(literal_.text, &ole)) return Fail(ConvertFailure::kMismatch);
      text = FormatOleDate(ole);
    } else {
      text = literal_.text;
    }
    arena->push_back(std::move(text));
    return Ok(jet::Value::Bytes(jet::Value::Kind::kText, arena->back()));
  }

  Converted ToBoolean() const {
    if (literal_.kind == Kind::kBoolean) return Ok(jet::Value::Boolean(literal_.boolean));
    if (literal_.kind == Kind::kNumber || literal_.kind == Kind::kString) {
      static constexpr std::pair<std::string_view, bool> kWords[] = {
          {"1", true},      {"-1", true},  {"0", false}, {"True", true},
          {"False", false}, {"Yes", true}, {"No", false}};
      for (const auto& [word, value] : kWords) {
        if (strings::AsciiEqualsNoCase(trimmed_, word)) return Ok(jet::Value::Boolean(value));
      }
    }
    return Fail(ConvertFailure::kMismatch);
  }

  // Byte, Integer, Long, Currency.
  Converted ToWholeNumber() const {
    int64_t value = 0;
    const bool currency = column_.type == jet::ColumnType::kCurrency;
    if (literal_.kind == Kind::kBoolean) {
      value = literal_.boolean ? -1 : 0;
      if (currency) value *= 10000;
    } else if (literal_.kind == Kind::kNumber || literal_.kind == Kind::kString) {
      const Scaled scaled = ParseScaled(trimmed_, currency ? 4 : 0, &value);
      if (scaled == Scaled::kNotANumber) return Fail(ConvertFailure::kMismatch);
      if (scaled == Scaled::kOverflow) return Fail(ConvertFailure::kOverflow);
    } else {
      return Fail(ConvertFailure::kMismatch);
    }
    const IntegerRange range = RangeOf(column_.type);
    if (value < range.low || value > range.high) return Fail(ConvertFailure::kOverflow);
    return Ok(jet::Value::Integer(range.kind, value));
  }

  // Single, Double.
  Converted ToReal() const {
    double value = 0;
    if (literal_.kind == Kind::kBoolean) {
      value = literal_.boolean ? -1 : 0;
    } else if ((literal_.kind == Kind::kNumber || literal_.kind == Kind::kString) &&
               IsDecimalText(trimmed_)) {
      value = std::strtod(std::string(trimmed_).c_str(), nullptr);
    } else {
      return Fail(ConvertFailure::kMismatch);
    }
    if (column_.type == jet::ColumnType::kSingle) {
      if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) {
        return Fail(ConvertFailure::kOverflow);
      }
      return Ok(jet::Value::Real(jet::Value::Kind::kSingle, static_cast<float>(value)));
    }
    if (!std::isfinite(value)) return Fail(ConvertFailure::kOverflow);
    return Ok(jet::Value::Real(jet::Value::Kind::kDouble, value));
  }

  Converted ToDateTime() const {
    double ole = 0;
    if (literal_.kind == Kind::kDate || literal_.kind == Kind::kString) {
      if (!ParseDateTimeText(literal_.text, &ole)) return Fail(ConvertFailure::kMismatch);
    } else if (literal_.kind == Kind::kNumber) {
      ole = std::strtod(literal_.text.c_str(), nullptr);
      // Days of the years 100 to 9999, the range Access stores.
      if (!std::isfinite(ole) || ole < -657434.0 || ole >= 2958466.0) {
        return Fail(ConvertFailure::kOverflow);
      }
    } else {
      return Fail(ConvertFailure::kMismatch);
    }
    return Ok(jet::Value::Real(jet::Value::Kind::kDateTime, ole));
  }

 private:
  using Kind = Literal::Kind;

  const jet::TableDef& table_;
  const jet::ColumnDef& column_;
  const Literal& literal_;
  const std::string_view trimmed_;
};

}  // namespace

Converted ConvertLiteral(const jet::TableDef& table, const jet::ColumnDef& column,
                         const Literal& literal, std::deque<std::string>* arena) {
  if (literal.kind == Literal::Kind::kNull) return Ok(jet::Value::Null());
  const LiteralConversion conversion(table, column, literal);
  switch (column.type) {
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo: return conversion.ToText(arena);
    case jet::ColumnType::kBoolean: return conversion.ToBoolean();
    case jet::ColumnType::kByte:
    case jet::ColumnType::kInteger:
    case jet::ColumnType::kLong:
    case jet::ColumnType::kCurrency: return conversion.ToWholeNumber();
    case jet::ColumnType::kSingle:
    case jet::ColumnType::kDouble: return conversion.ToReal();
    case jet::ColumnType::kDateTime: return conversion.ToDateTime();
    default: return conversion.Fail(ConvertFailure::kNotSupported);
  }
}

}  // namespace sql
