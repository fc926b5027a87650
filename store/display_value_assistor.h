// Display value assistors: what a pending write request already knows about the value it
// will write (raw value, type, enumeration options), handed to DisplayText so that the
// consent dialog shows the value as it will be. Made on the stack for one call.
#ifndef LUMORA_STORE_DISPLAY_VALUE_ASSISTOR_H_
#define LUMORA_STORE_DISPLAY_VALUE_ASSISTOR_H_

#include <string>
#include <vector>

#include "lumora/automation.h"

namespace lumora {

class PRGetDisplayValueAssistor {
 public:
  virtual ~PRGetDisplayValueAssistor() = default;
  virtual bool HasRawValue() const = 0;
  virtual bool HasType() const = 0;
  virtual bool HasEnumOptions() const = 0;
  virtual std::string GetRawValue() const { return {}; }
  virtual LONG GetType() const { return 0; }
  virtual std::string GetEnumLabel(LONG /*index*/) const { return {}; }
};

// A modification: knows the new raw value.
class PRGetDisplayValueAssistorForModifyRequest : public PRGetDisplayValueAssistor {
 public:
  explicit PRGetDisplayValueAssistorForModifyRequest(std::string rawValue) : m_rawValue(std::move(rawValue)) {}
  bool HasRawValue() const override { return true; }
  bool HasType() const override { return false; }
  bool HasEnumOptions() const override { return false; }
  std::string GetRawValue() const override { return m_rawValue; }

 private:
  std::string m_rawValue;
};

// A link creation with a value: knows the value and the type of its source.
class PR_GDVACreateLinkRequest : public PRGetDisplayValueAssistorForModifyRequest {
 public:
  PR_GDVACreateLinkRequest(std::string rawValue, LONG type)
      : PRGetDisplayValueAssistorForModifyRequest(std::move(rawValue)), m_type(type) {}
  bool HasType() const override { return true; }
  LONG GetType() const override { return m_type; }

 private:
  LONG m_type;
};

// A creation: knows the value, the type and the enumeration options (owned by the
// request item, which outlives the assistor).
class PR_GDVACreateRequest : public PR_GDVACreateLinkRequest {
 public:
  PR_GDVACreateRequest(std::string rawValue, LONG type, const std::vector<std::string>* options)
      : PR_GDVACreateLinkRequest(std::move(rawValue), type), m_options(options) {}
  bool HasEnumOptions() const override { return true; }
  // The option at 1-based position `index`; past the end, or at 0 and below, the last.
  std::string GetEnumLabel(LONG index) const override;

 private:
  const std::vector<std::string>* m_options;
};

}  // namespace lumora

#endif  // LUMORA_STORE_DISPLAY_VALUE_ASSISTOR_H_
