#include "forms/format_port_info.h"

#include "forms/output_escape.h"

namespace ttyenum {

namespace {

// Appends what a fact letter stands for; unknown facts append nothing.
void appendFact(const PortFacts& facts, char letter, std::string& out) {
  switch (letter) {
    case 'k':
      out += kindName(facts.kind);
      break;
    case 'h':
      if (facts.holderPid >= 0)
        out += std::to_string(facts.holderPid);
      break;
    case 'H':
      out += escapeFieldText(facts.holderCommand.value_or(std::string()));
      break;
    case 'b':
      out += escapeFieldText(facts.firstLinkIn("/dev/serial/by-id/"));
      break;
    case 'D':
      if (facts.device)
        out += facts.device->text();
      break;
    case 'a':
      out += escapeFieldText(facts.access);
      break;
    case 'g':
      out += escapeFieldText(facts.group);
      break;
    case 'C':
      if (facts.console)
        out += "console";
      break;
    default:
      break;
  }
}

// Appends what placeholder `letter` stands for; unknown letters append nothing, and so do the
// fact letters when `facts` is null.
void appendPlaceholder(const PortInfo& port, const PortFacts* facts, char letter,
                       std::string& out) {
  switch (letter) {
    case 'c':
      out += escapeFieldText(port.portName);
      break;
    case 'u':
      out += escapeFieldText(port.vendorId) + ":" + escapeFieldText(port.productId);
      break;
    case 'm':
      out += escapeFieldText(port.manufacturer);
      break;
    case 'p':
      out += escapeFieldText(port.product);
      break;
    case 'n':
      out += escapeFieldText(port.serialNumber);
      break;
    case 'd':
      out += escapeFieldText(port.driver);
      break;
    case 'v':
      out += escapeFieldText(port.version);
      break;
    case 's':
      out += port.inUse ? "used" : "free";
      break;
    case 't':
      out += '\t';
      break;
    default:
      if (facts != nullptr)
        appendFact(*facts, letter, out);
      break;
  }
}

// Calls `placeholder(letter)` for each placeholder of `format` and `literal(byte)` for each
// byte it copies, by the rules of formatPortInfo.
template <typename Placeholder, typename Literal>
void walkFormat(const std::string& format, Placeholder placeholder, Literal literal) {
  bool pending = false;
  for (const char byte : format) {
    if (byte == '%') {
      if (pending)
        literal('%');
      pending = !pending;
    } else if (pending) {
      pending = false;
      placeholder(byte);
    } else {
      literal(byte);
    }
  }
}

std::string render(const PortInfo& port, const PortFacts* facts, const std::string& format) {
  std::string out;
  walkFormat(
      format, [&](char letter) { appendPlaceholder(port, facts, letter, out); },
      [&](char byte) { out += byte; });
  out += '\n';
  return out;
}

}  // namespace

std::string formatPortInfo(const PortInfo& port, const std::string& format) {
  return render(port, nullptr, format);
}

std::string formatPortInfo(const PortInfo& port, const PortFacts& facts,
                           const std::string& format) {
  return render(port, &facts, format);
}

FactNeeds factsUsedBy(const std::string& format) {
  FactNeeds needs;
  walkFormat(
      format,
      [&](char letter) {
        if (letter == 'H')
          needs.holderCommand = true;
        else if (letter == 'b')
          needs.links = true;
        else if (letter == 'D' || letter == 'a' || letter == 'g')
          needs.node = true;
        else if (letter == 'C')
          needs.console = true;
      },
      [](char) {});
  return needs;
}

}  // namespace ttyenum
