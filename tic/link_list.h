#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

// An FTN address as links and .tic addresses are compared: zone:net/node.point, a missing
// point being 0, a domain ignored.
struct NodeAddress {
  std::uint16_t zone = 0;
  std::uint16_t net = 0;
  std::uint16_t node = 0;
  std::uint16_t point = 0;

  bool operator==(const NodeAddress&) const = default;
};

// Reads "zone:net/node" or "zone:net/node.point", either followed by "@domain": decimal
// numbers of 0 to 65535, nothing before or after. Nothing for any other text.
std::optional<NodeAddress> readNodeAddress(std::string_view text);

// One of the node's links: its address and password (empty for a link without one).
struct Link {
  NodeAddress address;
  std::string password;
};

// A line of a links list that could not be read: its number (from 1) and why, in words that
// never repeat the line, as it may hold a password.
struct LinkLineProblem {
  std::size_t line = 0;
  std::string why;
};

// The node's links, read from the links list: per line an FTN address and, after blanks, its
// password; a line of an address alone names a link without a password. Blank lines are
// passed over; ";" at the start of a word begins a comment that runs to the line's end.
class LinkList {
 public:
  // Adds the links of links list text; returns the lines that cannot be read, which add
  // nothing. Of two lines for one address the first counts.
  std::vector<LinkLineProblem> parse(std::string_view text);

  // Returns the link of that address, or nullptr when it is none of the node's.
  const Link* find(const NodeAddress& address) const;

  std::size_t size() const { return links.size(); }

 private:
  std::vector<Link> links;
};

// Reads the links list at `path` into `links`; fails with the cause when it cannot be read.
// `problems`, when given, gets the lines that cannot be read.
platform::Status loadLinkList(const std::string& path, LinkList& links,
                              std::vector<LinkLineProblem>* problems = nullptr);
