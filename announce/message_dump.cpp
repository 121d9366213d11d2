#include "announce/message_dump.h"

#include "announce/stored_message.h"
#include "platform/system.h"
#include "util/text.h"

namespace {

std::string attributeText(std::uint16_t attribute) {
  std::string text = "0x" + toHex(attribute, 4, '0');
  for (int bit = 0; bit < 16; ++bit) {
    if ((attribute & (1U << bit)) != 0) {
      const std::string_view name = storedmsg::attributeName(bit);
      text += " ";
      text += name.empty() ? "bit" + std::to_string(bit) : std::string(name);
    }
  }
  return text;
}

std::string line(std::string_view label, const std::string& value) {
  std::string text(label);
  text.resize(12, ' ');
  return text + ": " + value + "\n";
}

// One body byte made visible; CR LF is handled by the caller.
std::string visible(unsigned char c) {
  if (c < 0x20) {
    return std::string{'^', static_cast<char>(c + '@')};
  }
  if (c == 0x7F) {
    return "^?";
  }
  if (c >= 0x80) {
    return "\\x" + toHex(c, 2, '0');
  }
  if (c == '\\') {
    return "\\\\";
  }
  return std::string(1, static_cast<char>(c));
}

}  // namespace

bool dumpStoredMessage(std::string_view bytes, std::string& out) {
  using namespace storedmsg;
  out.clear();
  if (bytes.size() < kHeaderSize) {
    return false;
  }
  const std::uint32_t created = getUint32(bytes, kCreationTime);
  out += line("From", getText(bytes, kFromUserName));
  out += line("To", getText(bytes, kToUserName));
  out += line("Subject", getText(bytes, kSubject));
  out += line("Date", getText(bytes, kDateTime));
  out += line("Orig", std::to_string(getUint16(bytes, kOrigNet)) + "/" +
                          std::to_string(getUint16(bytes, kOrigNode)));
  out += line("Dest", std::to_string(getUint16(bytes, kDestNet)) + "/" +
                          std::to_string(getUint16(bytes, kDestNode)));
  out += line("Attribute", attributeText(getUint16(bytes, kAttribute)));
  out += line("Created", std::to_string(created) + " (0x" + toHex(created, 8, '0') + ", " +
                             platform::formatLocalTime("%Y-%m-%d %H:%M:%S", created) + " local)");
  out += line("Other", "timesRead " + std::to_string(getUint16(bytes, kTimesRead)) + ", cost " +
                           std::to_string(getUint16(bytes, kCost)) + ", replyTo " +
                           std::to_string(getUint16(bytes, kReplyTo)) + ", nextReply " +
                           std::to_string(getUint16(bytes, kNextReply)) + ", reserved " +
                           std::to_string(getUint32(bytes, kReserved)));

  const std::string_view body = bytes.substr(kHeaderSize);
  out += "--- body, " + std::to_string(body.size()) + " bytes\n";
  const bool terminated = !body.empty() && body.back() == '\0';
  const std::string_view text = terminated ? body.substr(0, body.size() - 1) : body;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += '\n';
      ++i;
    } else {
      out += visible(static_cast<unsigned char>(text[i]));
    }
  }
  if (!out.empty() && out.back() != '\n') {
    out += '\n';
  }
  out += terminated ? "--- end: final zero byte\n" : "--- end: no final zero byte\n";
  return true;
}
