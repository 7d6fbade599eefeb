#include "server/window_text.hpp"

#include "core/ascii.hpp"
#include "core/text_convert.hpp"
#include "platform/socket.hpp"

namespace fwk {

namespace {

constexpr const char* kSeparator =
    "----------------------------------------------------------------\n";

std::string to_utf8(const std::u16string& text) {
  return wide_to_ansi(text, 4 * text.size());
}

}  // namespace

std::string window_title(const ParamList* settings) {
  std::u16string title = u"Formwick";
  const char* device_id = plist_get(settings, "DEVICEID", "");
  if (device_id[0] != '\0') {
    title += u"/";
    title += utf8_to_wide(device_id, kWindowTitleLimit - title.size());
  }
  // A cut that split a surrogate pair would leave half a character.
  if (!title.empty() && title.back() >= 0xD800 && title.back() <= 0xDBFF) title.pop_back();
  return to_utf8(title);
}

std::string local_url(const std::string& address, const std::string& path) {
  return "http://" + address + "/" + path;
}

std::string survey_list_text(const SurveyTable& surveys, const std::string& address) {
  std::string text;
  for (int i = 0; i < kSurveyTableSize && surveys[i].in_use; ++i) {
    const SurveyEntry& entry = surveys[i];
    std::string number = std::to_string(i);
    text +=
        std::string(number.size() < 2 ? 1 : 0, ' ') + number + "  " + to_utf8(entry.title) + "\n";
    if (!entry.description.empty()) text += "    " + to_utf8(entry.description) + "\n";
    if (!address.empty()) text += "    " + local_url(address, to_utf8(entry.link)) + "\n";
  }
  return text;
}

std::string window_text(const SurveyTable& surveys, const std::string& title,
                        const std::string& address, const std::string& status,
                        const std::string& reach) {
  std::string text = title + "\n" + survey_list_text(surveys, address);
  if (!reach.empty()) text += reach;
  text += kSeparator;
  if (!status.empty()) text += status_message_for_console(status.c_str());
  return text;
}

std::string network_reach_text(uint32_t listen, int port, const std::vector<uint32_t>& machine) {
  const std::string suffix = ":" + std::to_string(port) + "/";
  if (listen != 0 && ipv4_is_loopback(listen))
    return "Only this machine reaches the server (--listen " + ipv4_text(listen) + ").\n";
  std::vector<uint32_t> shown;
  for (uint32_t address : machine) {
    if (listen == 0 || address == listen) shown.push_back(address);
  }
  if (shown.empty()) {
    return "This machine has no network address yet: tablets reach the server once it has "
           "one, at http://ADDRESS" +
           suffix + "\n";
  }
  std::string text = "Tablets on the network open";
  for (uint32_t address : shown) text += " http://" + ipv4_text(address) + suffix;
  return text + "\n";
}

std::string status_message_for_console(const char* message) {
  std::string text;
  for (const char* p = message; p != nullptr && *p != '\0'; ++p) {
    if (*p != '\r') text += *p;
  }
  size_t first = text.find_first_not_of('\n');
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of('\n');
  return text.substr(first, last - first + 1) + "\n";
}

ConsoleCommand console_command_parse(const std::string& line) {
  std::string word(text_trim(line, " \t"));
  ConsoleCommand command;
  if (word.empty()) return command;
  if (word == "a" || word == "A") {
    command.kind = ConsoleCommandKind::about;
  } else if (word == "q" || word == "Q") {
    command.kind = ConsoleCommandKind::shut_down;
  } else if (word.size() <= 3 && word.find_first_not_of("0123456789") == std::string::npos) {
    command.kind = ConsoleCommandKind::open_entry;
    command.entry = 0;
    for (char digit : word) command.entry = command.entry * 10 + (digit - '0');
  } else {
    command.kind = ConsoleCommandKind::unknown;
  }
  return command;
}

}  // namespace fwk
