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
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
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
  const std::string where = "column " + table.name + "." + column.name + " (" + TypeName(column) + ")";
  switch (failure) {
    case ConvertFailure::kOverflow:
      out.description = "Overflow: the value " + literal.Display() + " does not fit " + where;
      break;
    case ConvertFailure::kNotSupported:
      out.description = where + " cannot be written by SQL; only Null is accepted, not " + literal.Display();
      break;
    default:
      out.description = "Data type mismatch: " + where + " cannot take the value " + literal.Display();
  }
  return out;
}

Converted Ok(jet::Value value) {
  Converted out;
  out.value = value;
  return out;
}

}  // namespace

Converted ConvertLiteral(const jet::TableDef& table, const jet::ColumnDef& column,
                         const Literal& literal, std::deque<std::string>* arena) {
  using Kind = Literal::Kind;
  if (literal.kind == Kind::kNull) return Ok(jet::Value::Null());
  const std::string_view trimmed = Trim(literal.text);

  switch (column.type) {
    case jet::ColumnType::kText:
    case jet::ColumnType::kMemo: {
      std::string text;
      if (literal.kind == Kind::kBoolean) {
        text = literal.boolean ? "-1" : "0";
      } else if (literal.kind == Kind::kDate) {
        double ole = 0;
        if (!ParseDateTimeText(literal.text, &ole)) return Fail(ConvertFailure::kMismatch, table, column, literal);
        text = FormatOleDate(ole);
      } else {
        text = literal.text;
      }
      arena->push_back(std::move(text));
      return Ok(jet::Value::Bytes(jet::Value::Kind::kText, arena->back()));
    }

    case jet::ColumnType::kBoolean: {
      if (literal.kind == Kind::kBoolean) return Ok(jet::Value::Boolean(literal.boolean));
      if (literal.kind != Kind::kNumber && literal.kind != Kind::kString) break;
      static constexpr std::pair<std::string_view, bool> kWords[] = {
          {"1", true}, {"-1", true}, {"0", false}, {"True", true},
          {"False", false}, {"Yes", true}, {"No", false}};
      for (const auto& [word, value] : kWords) {
        if (strings::AsciiEqualsNoCase(trimmed, word)) return Ok(jet::Value::Boolean(value));
      }
      break;
    }

    case jet::ColumnType::kByte:
    case jet::ColumnType::kInteger:
    case jet::ColumnType::kLong:
    case jet::ColumnType::kCurrency: {
      int64_t value = 0;
      const bool currency = column.type == jet::ColumnType::kCurrency;
      if (literal.kind == Kind::kBoolean) {
        value = literal.boolean ? -1 : 0;
        if (currency) value *= 10000;
      } else if (literal.kind == Kind::kNumber || literal.kind == Kind::kString) {
        const Scaled scaled = ParseScaled(trimmed, currency ? 4 : 0, &value);
        if (scaled == Scaled::kNotANumber) break;
        if (scaled == Scaled::kOverflow) return Fail(ConvertFailure::kOverflow, table, column, literal);
      } else {
        break;
      }
      int64_t low = std::numeric_limits<int64_t>::min(), high = std::numeric_limits<int64_t>::max();
      jet::Value::Kind kind = jet::Value::Kind::kCurrency;
      if (column.type == jet::ColumnType::kByte) low = 0, high = 255, kind = jet::Value::Kind::kByte;
      if (column.type == jet::ColumnType::kInteger) low = -32768, high = 32767, kind = jet::Value::Kind::kInteger;
      if (column.type == jet::ColumnType::kLong) {
        low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
        kind = jet::Value::Kind::kLong;
      }
      if (value < low || value > high) return Fail(ConvertFailure::kOverflow, table, column, literal);
      return Ok(jet::Value::Integer(kind, value));
    }

    case jet::ColumnType::kSingle:
    case jet::ColumnType::kDouble: {
      double value = 0;
      if (literal.kind == Kind::kBoolean) {
        value = literal.boolean ? -1 : 0;
      } else if ((literal.kind == Kind::kNumber || literal.kind == Kind::kString) && IsDecimalText(trimmed)) {
        value = std::strtod(std::string(trimmed).c_str(), nullptr);
      } else {
        break;
      }
      if (column.type == jet::ColumnType::kSingle) {
        if (!std::isfinite(value) || std::fabs(value) > FLT_MAX) {
          return Fail(ConvertFailure::kOverflow, table, column, literal);
        }
        return Ok(jet::Value::Real(jet::Value::Kind::kSingle, static_cast<float>(value)));
      }
      if (!std::isfinite(value)) return Fail(ConvertFailure::kOverflow, table, column, literal);
      return Ok(jet::Value::Real(jet::Value::Kind::kDouble, value));
    }

    case jet::ColumnType::kDateTime: {
      double ole = 0;
      if (literal.kind == Kind::kDate || literal.kind == Kind::kString) {
        if (!ParseDateTimeText(literal.text, &ole)) break;
      } else if (literal.kind == Kind::kNumber) {
        ole = std::strtod(literal.text.c_str(), nullptr);
        // Days of the years 100 to 9999, the range Access stores.
        if (!std::isfinite(ole) || ole < -657434.0 || ole >= 2958466.0) {
          return Fail(ConvertFailure::kOverflow, table, column, literal);
        }
      } else {
        break;
      }
      return Ok(jet::Value::Real(jet::Value::Kind::kDateTime, ole));
    }

    default:
      return Fail(ConvertFailure::kNotSupported, table, column, literal);
  }
  return Fail(ConvertFailure::kMismatch, table, column, literal);
}

}  // namespace sql
