#include "framework/core/component.h"

#include <algorithm>
#include <cctype>

#include "framework/core/exceptions.h"
#include "platform/text_file.h"

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
  addProperty({"Name",
               PropertyKind::String,
               {},
               [this] { return PropertyValue(name_); },
               [this](const PropertyValue& v) { name_ = std::get<std::string>(v); }});
  addProperty({"Tag",
               PropertyKind::Integer,
               {},
               [this] { return PropertyValue(tag_); },
               [this](const PropertyValue& v) { tag_ = std::get<int64_t>(v); }});
}

// Components are held by their owners as members or smart pointers; the base
// only keeps the owner's list of components current.
TComponent::~TComponent() {
  if (owner_) {
    auto& list = owner_->components_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  for (TComponent* c : components_) c->owner_ = nullptr;
}

TComponent* TComponent::findComponent(const std::string& name) const {
  for (TComponent* c : components_)
    if (c->name_ == name) return c;
  return nullptr;
}

void TComponent::addProperty(PropertyInfo info) { properties_.push_back(std::move(info)); }

const PropertyInfo* TComponent::findProperty(const std::string& name) const {
  for (const auto& p : properties_)
    if (p.name == name) return &p;
  return nullptr;
}

void TComponent::registerMethod(const std::string& name, std::any handler) {
  methods_.emplace_back(name, std::move(handler));
}

const std::any* TComponent::findMethod(const std::string& name) const {
  for (const auto& m : methods_)
    if (m.first == name) return &m.second;
  return nullptr;
}

void TComponent::throwInvalidHandler(const std::string& property, const std::string& handlerName) {
  throw Exception("Invalid handler \"" + handlerName + "\" for property " + property);
}

Layout TComponent::writeLayout() const {
  Layout out;
  bool ownPosition = findProperty("Left") != nullptr;
  if (!ownPosition && (designLeft != 0 || designTop != 0)) {
    out.push_back({"Left", int64_t(designLeft)});
    out.push_back({"Top", int64_t(designTop)});
  }
  for (const auto& p : properties_) {
    PropertyValue v = p.read();
    if ((p.kind == PropertyKind::String || p.kind == PropertyKind::Event) && std::get<std::string>(v).empty()) continue;
    out.push_back({p.name, v});
  }
  return out;
}

void TComponent::readLayout(const Layout& layout) {
  for (const auto& item : layout) {
    const PropertyInfo* p = findProperty(item.name);
    if (!p) {
      if ((item.name == "Left" || item.name == "Top") && std::holds_alternative<int64_t>(item.value)) {
        (item.name == "Left" ? designLeft : designTop) = int(std::get<int64_t>(item.value));
        continue;
      }
      throw Exception("Property " + item.name + " does not exist");
    }
    bool kindMatches = false;
    switch (p->kind) {
      case PropertyKind::Integer:
      case PropertyKind::Enumeration: kindMatches = std::holds_alternative<int64_t>(item.value); break;
      case PropertyKind::Boolean: kindMatches = std::holds_alternative<bool>(item.value); break;
      case PropertyKind::String:
      case PropertyKind::Event: kindMatches = std::holds_alternative<std::string>(item.value); break;
    }
    if (!kindMatches) throw Exception("Invalid property value for " + item.name);
    if (p->kind == PropertyKind::Enumeration) {
      int64_t ordinal = std::get<int64_t>(item.value);
      if (ordinal < 0 || ordinal >= int64_t(p->enumNames.size()))
        throw Exception("Invalid property value for " + item.name);
    }
    p->write(item.value);
  }
}

// ---- text form ----

namespace {

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace((unsigned char)s[b])) ++b;
  while (e > b && std::isspace((unsigned char)s[e - 1])) --e;
  return s.substr(b, e - b);
}

// A text in single quotes ('' for a quote); control characters, which a
// line-based form cannot hold, are written outside the quotes as #nn.
std::string quote(const std::string& s) {
  std::string out;
  bool open = false;
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 32) {
      if (open) out += '\'';
      open = false;
      out += '#' + std::to_string(static_cast<unsigned char>(c));
      continue;
    }
    if (!open) out += '\'';
    open = true;
    if (c == '\'') out += '\'';
    out += c;
  }
  if (open || s.empty()) out += s.empty() ? "''" : "'";
  return out;
}

// Reads a text written by quote(): quoted runs and #nn characters. Returns
// false for an unterminated run or a bad character code.
bool unquote(const std::string& value, std::string& text) {
  size_t i = 0;
  while (i < value.size() && (value[i] == '\'' || value[i] == '#')) {
    if (value[i] == '#') {
      size_t end = ++i;
      while (end < value.size() && std::isdigit((unsigned char)value[end])) ++end;
      if (end == i || end - i > 3) return false;
      int code = std::stoi(value.substr(i, end - i));
      if (code > 255) return false;
      text += char(code);
      i = end;
      continue;
    }
    for (++i;; ++i) {
      if (i >= value.size()) return false;
      if (value[i] != '\'') {
        text += value[i];
      } else if (i + 1 < value.size() && value[i + 1] == '\'') {
        text += '\'';
        ++i;
      } else {
        ++i;
        break;
      }
    }
  }
  return true;
}

}  // namespace

std::string layoutToText(const TComponent& component, const Layout& layout) {
  std::string out;
  for (const auto& item : layout) {
    const PropertyInfo* p = component.findProperty(item.name);
    out += item.name + " = ";
    if (std::holds_alternative<bool>(item.value)) {
      out += std::get<bool>(item.value) ? "True" : "False";
    } else if (std::holds_alternative<int64_t>(item.value)) {
      int64_t v = std::get<int64_t>(item.value);
      if (p && p->kind == PropertyKind::Enumeration && v >= 0 && v < int64_t(p->enumNames.size()))
        out += p->enumNames[size_t(v)];
      else
        out += std::to_string(v);
    } else if (p && p->kind == PropertyKind::Event) {
      out += std::get<std::string>(item.value);
    } else {
      out += quote(std::get<std::string>(item.value));
    }
    out += "\n";
  }
  return out;
}

Layout layoutFromText(const TComponent& component, const std::string& text) {
  Layout layout;
  int lineNo = 0;
  for (std::string line : platform::linesOf(text)) {
    ++lineNo;
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    auto eq = line.find('=');
    if (eq == std::string::npos) throw Exception("Layout line " + std::to_string(lineNo) + ": missing \"=\"");
    std::string name = trim(line.substr(0, eq));
    std::string value = trim(line.substr(eq + 1));
    const PropertyInfo* p = component.findProperty(name);
    if (!value.empty() && (value[0] == '\'' || value[0] == '#')) {
      std::string s;
      if (!unquote(value, s)) throw Exception("Layout line " + std::to_string(lineNo) + ": unterminated string");
      layout.push_back({name, s});
    } else if (value == "True" || value == "False") {
      layout.push_back({name, value == "True"});
    } else if (!value.empty() && (std::isdigit((unsigned char)value[0]) || value[0] == '-')) {
      try {
        layout.push_back({name, int64_t(std::stoll(value))});
      } catch (const std::exception&) {
        throw Exception("Layout line " + std::to_string(lineNo) + ": invalid number");
      }
    } else if (p && p->kind == PropertyKind::Enumeration) {
      auto it = std::find(p->enumNames.begin(), p->enumNames.end(), value);
      if (it == p->enumNames.end()) throw Exception("Invalid property value for " + name);
      layout.push_back({name, int64_t(it - p->enumNames.begin())});
    } else {
      // A bare identifier: the name of a handler method.
      layout.push_back({name, value});
    }
  }
  return layout;
}
