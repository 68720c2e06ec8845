#pragma once
// The component base: owner, Name, Tag, an ordered table of published
// properties, a table of named handler methods, and layout streaming.
//
// A layout is the list of stored property values of one component, in stored
// order. Writing one stores every enumeration, number and Boolean, a string
// when it is not empty and an event when it is assigned (by its handler's
// name); reading one assigns each value through the property's write access.
#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "framework/core/event.h"
#include "framework/core/object.h"

enum class PropertyKind { Integer, Boolean, Enumeration, String, Event };

// Integer and Enumeration values are numbers (an enumeration by its ordinal),
// String and Event values are texts (an event by its handler's name, empty
// when unassigned).
using PropertyValue = std::variant<int64_t, bool, std::string>;

struct PropertyInfo {
  std::string name;
  PropertyKind kind;
  std::vector<std::string> enumNames;  // Enumeration only, by ordinal
  std::function<PropertyValue()> read;
  std::function<void(const PropertyValue&)> write;
};

struct StoredProperty {
  std::string name;
  PropertyValue value;
  bool operator==(const StoredProperty&) const = default;
};
using Layout = std::vector<StoredProperty>;

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* owner() const { return owner_; }
  const std::vector<TComponent*>& components() const { return components_; }
  TComponent* findComponent(const std::string& name) const;

  const std::string& name() const { return name_; }
  void setName(const std::string& name) { name_ = name; }
  int64_t tag() const { return tag_; }
  void setTag(int64_t tag) { tag_ = tag; }

  // Design-time position of a windowless component: stored, no run-time effect.
  int designLeft = 0;
  int designTop = 0;

  // Published properties in order; Name and Tag come first.
  const std::vector<PropertyInfo>& properties() const { return properties_; }
  const PropertyInfo* findProperty(const std::string& name) const;

  // Handler methods that layouts may bind events to, by name. The value is a
  // std::function of the event's handler type.
  void registerMethod(const std::string& name, std::any handler);
  const std::any* findMethod(const std::string& name) const;

  // The stored values of this component; see the header comment.
  Layout writeLayout() const;
  // Assigns stored values in order. Raises Exception for an unknown property,
  // a value of the wrong kind or a handler name the owner does not have.
  void readLayout(const Layout& layout);

 protected:
  void addProperty(PropertyInfo info);

  // Declares an event property over a TEvent member; its handler is looked up
  // by name in the owner's method table when a layout is read.
  template <typename... Args>
  void addEventProperty(const std::string& name, TEvent<Args...>& event) {
    addProperty(PropertyInfo{name,
                             PropertyKind::Event,
                             {},
                             [&event] { return PropertyValue(event.handlerName()); },
                             [this, &event, name](const PropertyValue& v) {
                               const std::string& handlerName = std::get<std::string>(v);
                               event = resolveHandler<Args...>(name, handlerName);
                             }});
  }

 private:
  template <typename... Args>
  TEvent<Args...> resolveHandler(const std::string& property, const std::string& handlerName) const {
    if (handlerName.empty()) return {};
    const std::any* m = owner_ ? owner_->findMethod(handlerName) : nullptr;
    using Fn = typename TEvent<Args...>::Handler;
    const Fn* fn = m ? std::any_cast<Fn>(m) : nullptr;
    if (!fn) throwInvalidHandler(property, handlerName);
    return TEvent<Args...>(*fn, handlerName);
  }
  [[noreturn]] static void throwInvalidHandler(const std::string& property, const std::string& handlerName);

  TComponent* owner_;
  std::vector<TComponent*> components_;
  std::string name_;
  int64_t tag_ = 0;
  std::vector<PropertyInfo> properties_;
  std::vector<std::pair<std::string, std::any>> methods_;
};

// The text form of layouts, one "Name = value" line per stored property:
// numbers in decimal, Booleans as True/False, enumerations and handler names as
// bare identifiers, strings in single quotes with '' for a quote and control
// characters as #nn outside the quotes ('one'#13#10'two').
std::string layoutToText(const TComponent& component, const Layout& layout);
Layout layoutFromText(const TComponent& component, const std::string& text);
