// The consent dialog's JSON form.
#include "consent_json.h"

namespace lumora {

const char* ConsentKindName(ConsentKind kind) { return kind == ConsentKind::kWrite ? "write" : "read"; }

const char* ConsentAnswerName(ConsentAnswer answer) {
  switch (answer) {
    case ConsentAnswer::kAllow:
      return "allow";
    case ConsentAnswer::kClose:
      return "close";
    case ConsentAnswer::kDeny:
      break;
  }
  return "deny";
}

JsonValue ConsentDialogToJson(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows) {
  JsonValue dialog = JsonValue::Object();
  dialog.Add("kind", JsonValue::String(ConsentKindName(model.kind)));
  dialog.Add("caption", JsonValue::String(model.caption));
  JsonValue& texts = dialog.Add("texts", JsonValue::Object());
  for (const auto& [control, text] : model.texts) {
    // A control named twice keeps its first text, so that the object stays unambiguous.
    if (texts.Find(std::to_string(control)) == nullptr) texts.Add(std::to_string(control), JsonValue::String(text));
  }
  JsonValue& columns = dialog.Add("columns", JsonValue::Array());
  for (const ConsentColumn& column : model.columns) {
    columns.Append(
        JsonValue::Object({{"header", JsonValue::String(column.header)}, {"width", JsonValue::Integer(column.width)}}));
  }
  JsonValue& shownRows = dialog.Add("rows", JsonValue::Array());
  for (const std::vector<std::string>& row : rows) {
    JsonValue& cells = shownRows.Append(JsonValue::Array());
    for (const std::string& cell : row) cells.Append(JsonValue::String(cell));
  }
  return dialog;
}

namespace {

bool ParseAction(const JsonValue& value, ConsentAction* action, std::string* error) {
  if (!value.IsObject()) {
    *error = "an action is not an object";
    return false;
  }
  const JsonValue* select = value.Find("select");
  const JsonValue* press = value.Find("press");
  if (select == nullptr || press == nullptr || value.members().size() != 2) {
    *error = "an action has exactly \"select\" and \"press\"";
    return false;
  }
  if (!select->IsArray()) {
    *error = "\"select\" is not an array";
    return false;
  }
  for (const JsonValue& row : select->items()) {
    if (!row.IsInteger() || row.integer() < 0) {
      *error = "\"select\" holds something other than a row index";
      return false;
    }
    action->select.push_back(static_cast<size_t>(row.integer()));
  }
  if (press->IsString() && press->text() == "shared") {
    action->shared = true;
  } else if (press->IsString() && press->text() == "private") {
    action->shared = false;
  } else {
    *error = "\"press\" is neither \"shared\" nor \"private\"";
    return false;
  }
  return true;
}

}  // namespace

std::optional<ConsentReply> ParseConsentReply(std::string_view line, std::string* error) {
  if (line.size() > kMaxConsentLineLength) {
    *error = "the line is longer than 1 MiB";
    return std::nullopt;
  }
  const std::optional<JsonValue> value = ParseJson(line);
  if (!value || !value->IsObject()) {
    *error = "the line is not a JSON object";
    return std::nullopt;
  }
  ConsentReply reply;
  bool answered = false;
  for (const auto& [name, member] : value->members()) {
    if (name == "answer") {
      const std::string& text = member.IsString() ? member.text() : std::string();
      if (text == "allow") {
        reply.answer = ConsentAnswer::kAllow;
      } else if (text == "deny") {
        reply.answer = ConsentAnswer::kDeny;
      } else if (text == "close") {
        reply.answer = ConsentAnswer::kClose;
      } else {
        *error = "\"answer\" is not \"allow\", \"deny\" or \"close\"";
        return std::nullopt;
      }
      answered = true;
    } else if (name == "actions") {
      if (!member.IsArray()) {
        *error = "\"actions\" is not an array";
        return std::nullopt;
      }
      for (const JsonValue& item : member.items()) {
        ConsentAction action;
        if (!ParseAction(item, &action, error)) return std::nullopt;
        reply.actions.push_back(std::move(action));
      }
    } else {
      *error = "unknown member \"" + name + "\"";
      return std::nullopt;
    }
  }
  if (!answered) {
    *error = "no \"answer\"";
    return std::nullopt;
  }
  return reply;
}

}  // namespace lumora
