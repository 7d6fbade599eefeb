// The record browser's pages and the pieces they share.
#include <cinttypes>

#include "records/list.hpp"
#include "core/out.hpp"

namespace fwk {

namespace {

struct StyleRule {
  const char* selector;
  const char* declarations;  // one per line, each ending ";\n"
};

constexpr StyleRule kStyleRules[] = {
    {"BODY",
     "background-color: white;\nfont-family: courier;\nfont-size: 100%;\ncolor: #000000;\n"},
    {"TABLE", "border-collapse: collapse;\n"},
    {"TR", "font-size: 100%;\nborder: thin solid #000000;\n"},
    {"TR.DARK", "background-color: lightcyan;\n"},
    {"TR.LIGHT", "background-color: lightyellow;\n"},
    {"TH",
     "font-size: 50%;\nborder-width: thin;\nborder-style: solid;\nborder-color: #000000;\n"
     "padding: 3px;\n"},
    {"TD",
     "font-size: 50%;\nborder-width: thin;\nborder-style: solid;\nborder-color: slategray;\n"
     "text-align: center;\n"},
    {"TD.INDEX", "color: #FF0000;\nfont-size: 30%;\nfont-weight: bold;\n"},
    {"TD.QUERY", "color: #000000;\nborder-color: #FFFFFF;\n"},
    {"TD.OPTION", "color: #000000;\nborder-color: #FFFFFF;\ntext-align: left;\n"},
    {"TABLE.LIST", "border-width: thin;\nborder-style: solid;\nborder-color: #000000;\n"},
};

// "<HTML>" to "<BODY>" with the style sheet.
void write_page_head(OutputSink* sink) {
  out_text(sink, "<HTML>\n<HEAD>\n");
  list_style_sheet(sink);
  out_text(sink, "</HEAD>\n\n<BODY>\n");
}

struct ExportLink {
  const char* format;
  const char* label;
};

constexpr ExportLink kExportLinks[] = {{"csv", "CSV"}, {"xlsx", "Excel"}, {"jsonl", "JSON"}};

void write_paging_link(OutputSink* sink, const char* form, const char* password, int64_t count,
                       int64_t start, const char* label) {
  out_text(sink, "<a href=\"?DATABASE=");
  out_url(sink, form);
  out_text(sink, "&_PASSWORD=");
  out_url(sink, password);
  out_printf(sink, "&_ACTION=LIST&_COUNT=%" PRId64 "&_START=%" PRId64 "\">%s</a>", count, start,
             label);
}

}  // namespace

void list_style_sheet(OutputSink* sink) {
  out_text(sink, "<style type=\"text/css\">\n");
  for (const StyleRule& rule : kStyleRules) {
    out_text(sink, rule.selector);
    out_text(sink, "\n{\n");
    out_text(sink, rule.declarations);
    out_text(sink, "}\n\n");
  }
  out_text(sink, "</style>\n");
}

void list_query_bar(OutputSink* sink, const char* form, const char* password) {
  out_text(sink,
           "<TABLE><TR><TD CLASS=\"QUERY\">"
           "<FORM ACCEPT-CHARSET=\"UTF-8\"><INPUT TYPE=HIDDEN NAME=DATABASE VALUE=\"");
  out_html(sink, form);
  out_text(sink, "\">\n<INPUT TYPE=HIDDEN NAME=_PASSWORD VALUE=\"");
  out_html(sink, password);
  out_text(sink,
           "\">\n"
           " Query: <INPUT NAME=_QUERY>"
           "<INPUT TYPE=SUBMIT NAME=_ACTION VALUE=\"List records\">\n"
           "</FORM>\n\n"
           "</TD><TD CLASS=\"QUERY\">"
           "<FORM ACCEPT-CHARSET=\"UTF-8\">\n"
           "<INPUT TYPE=SUBMIT NAME=_ACTION VALUE=\"Start over\"></FORM>\n"
           "</TD></TABLE>"
           "(<b>field</b>=<i>value</i>&<b>field</b>=<i>value</i>) wildcards are _ and %\n");
}

void list_paging_links(OutputSink* sink, const char* form, const char* password, int64_t count,
                       int64_t start) {
  write_paging_link(sink, form, password, count, start - count, "Back");
  out_text(sink, " | ");
  write_paging_link(sink, form, password, count, start + count, "Next");
}

void list_export_links(OutputSink* sink, const char* form, const char* password,
                       const char* query) {
  out_text(sink, "<P>Export the listed records (all pages): ");
  const char* separator = "";
  for (const ExportLink& link : kExportLinks) {
    out_text(sink, separator);
    separator = " | ";
    out_text(sink, "<a href=\"?DATABASE=");
    out_url(sink, form);
    out_text(sink, "&_PASSWORD=");
    out_url(sink, password);
    out_text(sink, "&_ACTION=EXPORT&_FORMAT=");
    out_text(sink, link.format);
    if (query != nullptr && *query != '\0') {
      out_text(sink, "&_QUERY=");
      out_url(sink, query);
    }
    out_printf(sink, "\">%s</a>", link.label);
  }
  out_text(sink, "\n");
}

void list_start_page(OutputSink* sink, const char* form, const char* password) {
  write_page_head(sink);
  out_text(sink,
           "<FORM method=\"post\" ACCEPT-CHARSET=\"UTF-8\">"
           "<h4>To view a database or report, please choose an option:</h4>\n"
           "<TABLE>\n");
  out_text(sink,
           "<TR><TD CLASS=\"OPTION\">Database:<font color=\"#FF0000\">*</font>"
           "</TD><TD CLASS=\"OPTION\"><input name=\"DATABASE\" VALUE=\"");
  out_html(sink, form);
  out_text(sink, "\">\n</TD></TR>\n");
  out_text(sink,
           "<TR><TD CLASS=\"OPTION\">Query:</TD><TD CLASS=\"OPTION\"><INPUT NAME=\"_QUERY\">"
           " (<b>field</b>=<i>value</i>&amp;<b>field</b>=<i>value</i>)</TD></TR>\n");
  out_text(sink,
           "<TR><TD CLASS=\"OPTION\">Password:<font color=\"#FF0000\">*</font>"
           "</TD><TD CLASS=\"OPTION\"><INPUT TYPE=\"PASSWORD\" NAME=\"_PASSWORD\" VALUE=\"");
  out_html(sink, password);
  out_text(sink,
           "\"> (to use multiple passwords, separate them with commas)</TD></TR>\n"
           "<TR><TD CLASS=\"OPTION\"><INPUT TYPE=\"HIDDEN\" NAME=\"_ACTION\" VALUE=\"LIST\">"
           "<INPUT TYPE=\"SUBMIT\" VALUE=\"List records\"></TD></TR>\n");
  out_text(sink,
           "</TABLE>\n\n</FORM>\n"
           "<HR><SMALL>Formwick record browser. Copyright &copy; Veltrix. "
           "All rights reserved.</SMALL>\n"
           "</BODY>\n</HTML>\n\n");
}

void list_page(OutputSink* sink, std::FILE* file, ParamList* header, const char* form,
               const char* query, const char* password, int64_t count, int64_t start) {
  write_page_head(sink);
  out_text(sink, "<h3>Formwick Database List</h3>\n");
  list_query_bar(sink, form, password);
  list_export_links(sink, form, password, query);
  out_text(sink, "<HR>\n");
  list_paging_links(sink, form, password, count, start);
  out_text(sink, "<TABLE CLASS=\"LIST\">\n");
  list_headings(sink, header);
  list_rows(sink, file, header, form, query, password, count, start);
  out_text(sink, "\n</TABLE>\n\n\n");
  list_paging_links(sink, form, password, count, start);
  out_text(sink, "</BODY>\n</HTML>\n\n");
}

void view_page(OutputSink* sink, const ParamList* record, const char* form, int64_t row,
               const char* password, bool retired) {
  write_page_head(sink);
  out_printf(sink, "<H2>Viewing record %" PRId64 "%s</H2>", row, retired ? " (retired)" : "");
  list_query_bar(sink, form, password);
  out_text(sink, "<HR>\n");
  if (retired) {
    out_text(sink,
             "<P>This record is retired: its response was saved again later, or it was "
             "deleted. It is not one of the responses.\n");
  }
  out_text(sink, "<TABLE>\n");
  // A record list is one block: its columns, then spare slots.
  bool dark = true;
  plist_each_in_first_block(record, [&](const Pair& field) {
    out_text(sink, dark ? "<TR CLASS=\"DARK\">\n<TD>" : "<TR CLASS=\"LIGHT\">\n<TD>");
    dark = !dark;
    out_html(sink, field.name->c_str());
    out_text(sink, "</TD>\n<TD>");
    if (field.value) {
      out_html(sink, field.value->c_str());
    } else {
      out_text(sink, "&nbsp;");
    }
    out_text(sink, "</TD>\n");
  });
  out_text(sink, "</TABLE>\n\n</BODY>\n</HTML>\n\n");
}

}  // namespace fwk
