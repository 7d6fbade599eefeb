// The table of the list page: the heading row with its column groups and
// the data rows.
#include <cinttypes>
#include <string>

#include "records/list.hpp"
#include "core/out.hpp"
#include "expr/expr.hpp"
#include "store/datafile.hpp"

namespace fwk {

namespace {

// Tells whether a column starts a new cell: its name is non-empty and
// differs (any case) from the last non-empty name before it. Columns with
// empty names are left out of both the headings and the rows, so the two
// stay aligned.
struct ColumnGroups {
  const std::string* previous = nullptr;

  bool starts_cell(const std::string& name) {
    bool starts = !previous || text_compare_nocase(previous->c_str(), name.c_str()) != 0;
    previous = &name;
    return starts;
  }
};

void write_row(OutputSink* sink, const ParamList* record, const char* form, const char* password,
               int64_t line, bool light) {
  out_text(sink, light ? "\n<TR CLASS=\"LIGHT\">\n<TD><a href=\"?_PASSWORD="
                       : "\n<TR CLASS=\"DARK\">\n<TD><a href=\"?_PASSWORD=");
  out_url(sink, password);
  out_text(sink, "&DATABASE=");
  out_url(sink, form);
  out_printf(sink,
             "&_ROWID=%" PRId64 "&_ACTION=View\">View</a></TD>\n<TD CLASS=\"INDEX\">%" PRId64
             "</TD>\n",
             line, line);
  ColumnGroups groups;
  plist_each_in_first_block(record, [&](const Pair& field) {
    if (field.name->empty()) return;
    out_text(sink, groups.starts_cell(*field.name) ? "<TD>" : ",");
    if (field.value) {
      out_html(sink, field.value->c_str());
    } else {
      out_text(sink, "&nbsp;");
    }
  });
  out_text(sink, "</TR>\n\n");
}

}  // namespace

void list_headings(OutputSink* sink, ParamList* header) {
  out_text(sink, "<TR><TH COLSPAN=2>Row Actions");
  ColumnGroups groups;
  // A header list is one block: its columns, then spare slots.
  plist_each_in_first_block(header, [&](Pair& column) {
    size_t cut = column.name->find('_');
    if (cut != std::string::npos) column.name->resize(cut);
    if (column.name->empty() || !groups.starts_cell(*column.name)) return;
    out_text(sink, "<TH>");
    out_html(sink, column.name->c_str());
    out_text(sink, "</TH>");
  });
  out_text(sink, "</TR>");
}

void list_rows(OutputSink* sink, std::FILE* file, ParamList* header, const char* form,
               const char* query, const char* password, int64_t count, int64_t start) {
  if (!file || !header || count <= 0) return;
  // The lines before the page are only counted: a record is read only when
  // it may be shown.
  if (start > 0 && datafile_skip_lines(file, start) != start) return;
  bool filtered = query && *query;
  int64_t shown = 0;
  for (int64_t line = start + 1; line <= start + count; ++line) {
    int kind = kRecordEmpty;
    datafile_read_record(file, header, &kind);
    if (kind == kRecordPlain && (!filtered || expr_condition(query, header, nullptr) != 0)) {
      write_row(sink, header, form, password, line, ++shown % 2 == 1);
    }
    // Past the end every read would give an empty line: stop at the end.
    if (std::feof(file) || std::ferror(file)) break;
  }
}

}  // namespace fwk
