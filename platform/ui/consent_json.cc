// The consent dialog's JSON form.
#include "consent_json.h"

#include <cstdlib>
#include <initializer_list>

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

JsonValue ConsentDialogForProgram(const ConsentDialogModel& model, const std::vector<std::vector<std::string>>& rows) {
  JsonValue dialog = ConsentDialogToJson(model, rows);
  dialog.Add("explanation", JsonValue::Object({{"caption", JsonValue::String(model.explanationCaption)},
                                               {"text", JsonValue::String(model.explanation)}}));
  if (model.kind == ConsentKind::kWrite && model.shareColumn >= 0) {
    JsonValue switchable = JsonValue::Array();
    for (size_t row = 0; row < model.switchable.size(); ++row) {
      if (model.switchable[row]) switchable.Append(JsonValue::Integer(static_cast<int64_t>(row)));
    }
    dialog.Add("share", JsonValue::Object({{"column", JsonValue::Integer(model.shareColumn)},
                                           {"shared", JsonValue::String(model.sharedText)},
                                           {"private", JsonValue::String(model.privateText)},
                                           {"switchable", std::move(switchable)}}));
  }
  return dialog;
}

namespace {

// Reads the members of `object` named in `names`, in any order, each exactly once; false
// for a member of another name or a missing one.
bool Members(const JsonValue& object, std::initializer_list<const char*> names, std::vector<const JsonValue*>* found,
             std::string* error, const char* what) {
  if (!object.IsObject()) {
    *error = std::string(what) + " is not an object";
    return false;
  }
  found->assign(names.size(), nullptr);
  for (const auto& [name, member] : object.members()) {
    size_t index = 0;
    for (const char* each : names) {
      if (name == each) break;
      ++index;
    }
    if (index == names.size()) {
      *error = std::string(what) + " has an unknown member \"" + name + "\"";
      return false;
    }
    (*found)[index] = &member;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if ((*found)[i] == nullptr) {
      *error = std::string(what) + " lacks \"" + *(names.begin() + i) + "\"";
      return false;
    }
  }
  return true;
}

bool StringOf(const JsonValue* value, std::string* out, std::string* error, const char* what) {
  if (!value->IsString()) {
    *error = std::string(what) + " is not a string";
    return false;
  }
  *out = value->text();
  return true;
}

}  // namespace

std::optional<ConsentDialogModel> ParseConsentDialog(std::string_view line, std::string* error) {
  if (line.size() > kMaxConsentLineLength) {
    *error = "the dialog is longer than 1 MiB";
    return std::nullopt;
  }
  const std::optional<JsonValue> value = ParseJson(line);
  if (!value || !value->IsObject()) {
    *error = "the dialog is not a JSON object";
    return std::nullopt;
  }
  const bool hasShare = value->Find("share") != nullptr;
  std::vector<const JsonValue*> m;
  const bool ok = hasShare ? Members(*value, {"kind", "caption", "texts", "columns", "rows", "explanation", "share"},
                                     &m, error, "the dialog")
                           : Members(*value, {"kind", "caption", "texts", "columns", "rows", "explanation"}, &m, error,
                                     "the dialog");
  if (!ok) return std::nullopt;
  ConsentDialogModel model;
  std::string kind;
  if (!StringOf(m[0], &kind, error, "\"kind\"")) return std::nullopt;
  if (kind == "read") {
    model.kind = ConsentKind::kRead;
  } else if (kind == "write") {
    model.kind = ConsentKind::kWrite;
  } else {
    *error = "\"kind\" is neither \"read\" nor \"write\"";
    return std::nullopt;
  }
  if (!StringOf(m[1], &model.caption, error, "\"caption\"")) return std::nullopt;
  if (!m[2]->IsObject()) {
    *error = "\"texts\" is not an object";
    return std::nullopt;
  }
  for (const auto& [name, text] : m[2]->members()) {
    char* end = nullptr;
    const long control = std::strtol(name.c_str(), &end, 10);
    // Only the canonical decimal form, so that no two names can mean one control.
    if (name.empty() || *end != '\0' || control < -1 || control > 65535 || std::to_string(control) != name ||
        !text.IsString()) {
      *error = "\"texts\" holds something other than control identifiers and texts";
      return std::nullopt;
    }
    model.texts.emplace_back(static_cast<int>(control), text.text());
  }
  if (!m[3]->IsArray()) {
    *error = "\"columns\" is not an array";
    return std::nullopt;
  }
  for (const JsonValue& column : m[3]->items()) {
    std::vector<const JsonValue*> c;
    if (!Members(column, {"header", "width"}, &c, error, "a column")) return std::nullopt;
    ConsentColumn each;
    if (!StringOf(c[0], &each.header, error, "a column's header")) return std::nullopt;
    if (!c[1]->IsInteger() || c[1]->integer() < 0 || c[1]->integer() > 10000) {
      *error = "a column's width is not a number of pixels";
      return std::nullopt;
    }
    each.width = static_cast<int>(c[1]->integer());
    model.columns.push_back(std::move(each));
  }
  if (!m[4]->IsArray()) {
    *error = "\"rows\" is not an array";
    return std::nullopt;
  }
  for (const JsonValue& row : m[4]->items()) {
    if (!row.IsArray() || row.items().size() != model.columns.size()) {
      *error = "a row does not have one text per column";
      return std::nullopt;
    }
    std::vector<std::string> cells;
    for (const JsonValue& cell : row.items()) {
      cells.emplace_back();
      if (!StringOf(&cell, &cells.back(), error, "a cell")) return std::nullopt;
    }
    model.rows.push_back(std::move(cells));
  }
  std::vector<const JsonValue*> e;
  if (!Members(*m[5], {"caption", "text"}, &e, error, "\"explanation\"")) return std::nullopt;
  if (!StringOf(e[0], &model.explanationCaption, error, "the explanation's caption") ||
      !StringOf(e[1], &model.explanation, error, "the explanation's text")) {
    return std::nullopt;
  }
  model.switchable.assign(model.rows.size(), false);
  if (hasShare) {
    std::vector<const JsonValue*> s;
    if (!Members(*m[6], {"column", "shared", "private", "switchable"}, &s, error, "\"share\"")) return std::nullopt;
    if (model.kind != ConsentKind::kWrite || !s[0]->IsInteger() || s[0]->integer() < 0 ||
        static_cast<size_t>(s[0]->integer()) >= model.columns.size()) {
      *error = "\"share\" names no column of a write dialog";
      return std::nullopt;
    }
    model.shareColumn = static_cast<int>(s[0]->integer());
    if (!StringOf(s[1], &model.sharedText, error, "the shared text") ||
        !StringOf(s[2], &model.privateText, error, "the private text")) {
      return std::nullopt;
    }
    if (!s[3]->IsArray()) {
      *error = "\"switchable\" is not an array";
      return std::nullopt;
    }
    for (const JsonValue& row : s[3]->items()) {
      if (!row.IsInteger() || row.integer() < 0 || static_cast<size_t>(row.integer()) >= model.rows.size()) {
        *error = "\"switchable\" names a row the dialog does not have";
        return std::nullopt;
      }
      model.switchable[static_cast<size_t>(row.integer())] = true;
    }
  }
  return model;
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

std::optional<ConsentReply> ApplyConsentReply(std::string_view line, const ConsentDialogModel& model,
                                              ConsentDialogActions* actions, std::string* error) {
  std::optional<ConsentReply> reply = ParseConsentReply(line, error);
  if (!reply) return std::nullopt;
  if (!reply->actions.empty() && actions == nullptr) {
    *error = "actions on a dialog without share-status buttons";
    return std::nullopt;
  }
  // Every row is checked before anything is pressed, so a bad line changes nothing.
  for (const ConsentAction& action : reply->actions) {
    for (const size_t row : action.select) {
      if (row >= model.rows.size()) {
        *error = "an action selects a row the dialog does not have";
        return std::nullopt;
      }
    }
  }
  for (const ConsentAction& action : reply->actions) actions->PressShareButton(action.select, action.shared);
  return reply;
}

JsonValue ConsentReplyToJson(const ConsentReply& reply) {
  JsonValue object = JsonValue::Object();
  if (!reply.actions.empty()) {
    JsonValue& actions = object.Add("actions", JsonValue::Array());
    for (const ConsentAction& action : reply.actions) {
      JsonValue select = JsonValue::Array();
      for (const size_t row : action.select) select.Append(JsonValue::Integer(static_cast<int64_t>(row)));
      actions.Append(JsonValue::Object(
          {{"select", std::move(select)}, {"press", JsonValue::String(action.shared ? "shared" : "private")}}));
    }
  }
  object.Add("answer", JsonValue::String(ConsentAnswerName(reply.answer)));
  return object;
}

}  // namespace lumora
