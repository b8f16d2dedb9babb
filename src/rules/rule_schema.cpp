#include "rules/rule_schema.h"

#include <vector>

#include "table/engine.h"
#include "table/format.h"

namespace quillane {

namespace {

struct RuleField {
  const char* name;
  table::FieldType type;
  std::int32_t width;  // 0 for the integer field
};

constexpr RuleField kRuleFields[] = {
    {kKeywordsField, table::FieldType::kText, kRuleKeywordWidth},
    {kReplyField, table::FieldType::kText, kRuleReplyWidth},
    {kMatchRuleField, table::FieldType::kText, kRuleMatchWidth},
    {kMatchCodeField, table::FieldType::kInt, 0},
};

}  // namespace

Bytes MakeEmptyRuleTable() {
  std::vector<table::FieldDescriptor> fields;
  for (const RuleField& rule : kRuleFields) {
    table::FieldDescriptor field;
    field.name = rule.name;
    field.type = static_cast<std::int32_t>(rule.type);
    if (rule.width > 0) field.width = rule.width;
    fields.push_back(field);
  }
  return table::BuildTableFile(fields, kRulePassword, table::NowAsDateTime());
}

MatchKind MatchKindOf(std::string_view matchRule) {
  if (matchRule == kContainsRule) return MatchKind::Contains;
  if (matchRule == kInMessageRule) return MatchKind::InMessage;
  return MatchKind::Exact;
}

bool HasRuleLayout(const Text& alias) {
  const std::vector<table::FieldInfo> fields = table::TableFields(alias);
  if (fields.size() != std::size(kRuleFields)) return false;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name != kRuleFields[i].name ||
        fields[i].type != static_cast<std::int32_t>(kRuleFields[i].type)) {
      return false;
    }
  }
  return true;
}

}  // namespace quillane
