#include "http/help_page.hpp"

#include <string>

#include "core/headers.hpp"
#include "core/out.hpp"
#include "http/server_loop.hpp"

namespace fwk {

namespace {

struct HelpEntry {
  int number;
  const char* text;
};

// What each number means, and what to do about it.
constexpr HelpEntry kHelpEntries[] = {
    {1,
     "No mail relay is configured: the form saves its answers by mail (SAVEEMAIL) but "
     "EMAILSERVER names no relay, so nothing was saved. Set EMAILSERVER in the form's "
     "configuration."},
    {2,
     "A page file or the form's template was not found, or the form's data file could not "
     "be read (it does not exist, or its first line does not name the columns). The server's "
     "status messages name the file; <tt>fwkhttpd check</tt> lists every such problem, and "
     "<tt>fwkhttpd check --create-data FORM</tt> creates a missing data file."},
    {3,
     "The record browser could not open the form's data file (it does not exist or has no "
     "header row)."},
    {6,
     "The data file or the XML transaction file could not be written: the server's user may "
     "not write it, or the disk is full. The answers were not saved."},
    {8, "The record browser was asked for a record past the end of the data file."},
    {11, "The identifier is missing or not in the form's password file (PWDFILE)."},
    {12, "The form has reached its limit of responses (MAXRESPONSES)."},
    {21,
     "There is no form of that name: its configuration file (the name with .ini), or the "
     "file's [DATABASE] section, was not found in the server root. Check the spelling of "
     "the form's name in the link."},
    {30, "The record browser was given a command it does not know."},
    {67,
     "The outbox (outbox.fwk in the server root) could not be written, so the answers could "
     "not be queued for mail: the server's user may not write the server root, or the disk "
     "is full."},
    {102,
     "A parameter (the form's name, the password, the action or the page) was longer than "
     "128 characters."},
    {103,
     "The page name is shorter than 5 characters: rename the page (and every page that "
     "names it)."},
    {104,
     "The form's or the page's name holds a character that a name may not hold: / . \\ * "
     "? $ | ' or \"."},
};

// The part of a HELPURL that names a page: without "#..." and "?...", and
// without a leading "/"; "" for an address of another server.
std::string local_page(const char* url) {
  std::string page = url;
  if (page.find("://") != std::string::npos) return "";
  page = page.substr(0, page.find_first_of("#?"));
  while (!page.empty() && (page[0] == '/' || page[0] == '\\')) page.erase(0, 1);
  return page;
}

}  // namespace

bool help_page_path(const ParamList* settings, const char* path) {
  std::string page = local_page(plist_get(settings, "HELPURL", kDefaultHelpUrl));
  return !page.empty() && text_compare_nocase(page.c_str(), path) == 0;
}

void write_help_page(OutputSink* sink) {
  write_headers(sink, nullptr);
  out_text(sink,
           "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
           "<title>Formwick error numbers</title></head>\n<body>\n<h1>Error numbers</h1>\n"
           "<p>When a request fails, its page ends with a note \"Error\" and a number. This is "
           "what the numbers mean.</p>\n<dl>\n");
  for (const HelpEntry& entry : kHelpEntries) {
    out_printf(sink, "<dt id=\"s%d\">Error %d</dt>\n<dd>", entry.number, entry.number);
    out_text(sink, entry.text);
    out_text(sink, "</dd>\n");
  }
  out_text(sink, "</dl>\n<p><a href=\"/\">Back to the start page</a></p>\n</body></html>\n");
}

}  // namespace fwk
