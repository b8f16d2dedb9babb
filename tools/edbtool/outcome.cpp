#include "tools/edbtool/outcome.h"

#include "quillane_version.h"
#include "table/engine.h"

namespace quillane::edbtool {

namespace {

bool Chinese(MessageLanguage language) { return language == MessageLanguage::Chinese; }

Outcome Failure(ExitCode code, Text line) { return {code, {std::move(line)}}; }

ExitCode ExitCodeOfEngine(int code) {
  switch (code) {
    case table::kFileNotFound:
    case table::kInvalidPath:
      return ExitCode::NotFound;
    case table::kSharingViolation:
    case table::kLockViolation:
      return ExitCode::InUse;
    case table::kNotATable:
    case table::kVersionTooHigh:
    case table::kFileSizeWrong:
    case table::kCompanionReadFailed:
    case table::kCompanionVersion:
    case table::kCompanionDamaged:
      return ExitCode::NotATable;
    case table::kBadPassword:
      return ExitCode::WrongPassword;
    case table::kAccessDenied:
      return ExitCode::Denied;
    default:
      return ExitCode::Failed;
  }
}

Text CauseText(ExitCode code, const Text& file, MessageLanguage language) {
  const bool zh = Chinese(language);
  switch (code) {
    case ExitCode::NotFound:
      return zh ? "找不到文件 " + file : "file not found: " + file;
    case ExitCode::InUse:
      return zh ? file + " 正被其他程序（例如 Excel）使用，请先关闭它"
                : file + " is in use by another program (such as Excel); close it first";
    case ExitCode::NotATable:
      return zh ? file + " 不是表文件，或者已经损坏" : file + " is not a table file, or is damaged";
    case ExitCode::WrongPassword:
      return zh ? file + " 的密码不对" : "wrong password for " + file;
    case ExitCode::Denied:
      return zh ? "没有权限改动 " + file + "（文件是只读的，或文件夹不让写入）"
                : "no permission to change " + file + " (a read-only file or folder)";
    default:
      return {};
  }
}

}  // namespace

Outcome EngineFailure(int code, const Text& file, MessageLanguage language) {
  const ExitCode exit = ExitCodeOfEngine(code);
  if (exit != ExitCode::Failed) return Failure(exit, CauseText(exit, file, language));
  const Text words = Text(table::ErrorText(code)) + "（" + ToText(code) + "）";
  return Failure(exit, Chinese(language) ? file + "：" + words : file + ": " + words);
}

Outcome FileFailed(FileFailure failure, const Text& file, MessageLanguage language) {
  switch (failure) {
    case FileFailure::None:
      return {};
    case FileFailure::NotFound:
      return Failure(ExitCode::NotFound, CauseText(ExitCode::NotFound, file, language));
    case FileFailure::InUse:
      return Failure(ExitCode::InUse, CauseText(ExitCode::InUse, file, language));
    case FileFailure::Denied:
      return Failure(ExitCode::Denied, CauseText(ExitCode::Denied, file, language));
    case FileFailure::Other:
      break;
  }
  return Failure(ExitCode::Failed,
                 Chinese(language) ? "无法读写 " + file + "（磁盘已满或读写出错）"
                                   : "cannot read or write " + file + " (disk full or I/O error)");
}

Outcome NotARuleTable(const Text& file, MessageLanguage language) {
  return Failure(
      ExitCode::NotATable,
      Chinese(language)
          ? file + " 不是规则表（它的字段不是 关键词、回复语、匹配规则、匹配码）"
          : file + " is not a rule table (its fields are not 关键词, 回复语, 匹配规则, 匹配码)");
}

Outcome TableHeld(const Text& file, MessageLanguage language) {
  return Failure(ExitCode::TableOpen,
                 Chinese(language)
                     ? file + " 正被 Quillane（或其他程序）打开，规则表没有改动。请先关闭 Quillane"
                     : file +
                           " is open in Quillane (or another program); the table is unchanged. "
                           "close Quillane first");
}

Text UsageText(MessageLanguage language) {
  const Text version = QUILLANE_VERSION;
  if (Chinese(language)) {
    return "edbtool " + version +
           "：Quillane 的规则表工具\n"
           "\n"
           "用法：\n"
           "  edbtool rules-to-csv 规则表 CSV文件\n"
           "      把规则导出为 CSV 文件（UTF-8，Excel 和 WPS 双击就能打开）。\n"
           "  edbtool rules-from-csv CSV文件 规则表\n"
           "      从 CSV 文件导入规则，替换规则表；原来的规则表保留为\n"
           "      “名称-日期-时间.edb”（例如 Database-20250101-120000.edb）。\n"
           "      CSV 可以是 Excel、WPS 保存的 CSV、UTF-8 CSV 或“Unicode 文本”；\n"
           "      第一行是标题：关键词,回复语,匹配规则,匹配码\n"
           "      （也可以是 keyword,reply,match,code）。请先关闭 Quillane。\n"
           "  edbtool answer 规则表 顾客消息...\n"
           "      对每条顾客消息，显示回复它的规则：第几行（按匹配顺序，匹配码大的在前）、\n"
           "      关键词和回复语；没有规则匹配时显示将发送默认回复。Quillane 运行时也可以用。\n"
           "  edbtool dump 表文件 [--password 密码]\n"
           "      以 JSON 列出表的字段和记录（规则表不用密码）。\n"
           "  edbtool sort 输入表 输出表 字段 [--desc] [--password 密码]\n"
           "      按字段把表排序到新的表文件。\n"
           "  edbtool --version\n"
           "      显示版本。\n"
           "\n"
           "退出码：0 成功；1 其他错误；2 命令用法不对；3 文件不存在；\n"
           "4 文件正被其他程序使用；5 不是表文件或不是规则表；6 密码不对；\n"
           "7 CSV 文件有错（会指出第几行）；8 Quillane 正在使用规则表；9 没有权限。";
  }
  return "edbtool " + version +
         ": the rule table tool of Quillane\n"
         "\n"
         "Usage:\n"
         "  edbtool rules-to-csv TABLE CSV\n"
         "      Exports the rules as a CSV file (UTF-8; Excel and WPS open it by double-click).\n"
         "  edbtool rules-from-csv CSV TABLE\n"
         "      Imports the rules of a CSV file in place of the table's; the old table is\n"
         "      kept as NAME-DATE-TIME.edb (such as Database-20250101-120000.edb).\n"
         "      The CSV may be saved by Excel or WPS as CSV, CSV UTF-8 or Unicode text;\n"
         "      its first line is the header: 关键词,回复语,匹配规则,匹配码\n"
         "      (or keyword,reply,match,code). Close Quillane first.\n"
         "  edbtool answer TABLE TEXT...\n"
         "      Shows, for each customer text, the rule that answers it: its row (in the\n"
         "      order the rules are tried, larger match codes first), keyword and reply, or\n"
         "      that the default reply is sent. Works while Quillane runs.\n"
         "  edbtool dump FILE [--password P]\n"
         "      Lists the fields and records of a table as JSON (rule tables need no password).\n"
         "  edbtool sort IN OUT FIELD [--desc] [--password P]\n"
         "      Sorts a table by a field into a new table file.\n"
         "  edbtool --version\n"
         "      Shows the version.\n"
         "\n"
         "Exit codes: 0 success; 1 any other failure; 2 wrong usage; 3 file not found;\n"
         "4 file in use by another program; 5 not a table or not a rule table;\n"
         "6 wrong password; 7 a problem in the CSV file (with its line); 8 the rule table\n"
         "is open in Quillane; 9 no permission.";
}

}  // namespace quillane::edbtool
