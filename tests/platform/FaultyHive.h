// A hive that passes every call to a real one but fails the writes from a chosen one on,
// so tests can break a multi-step save half-way.
#pragma once

#include <memory>

#include "platform/Registry.h"

namespace orvane::testing {

class FaultyHive : public reg::Hive {
 public:
  explicit FaultyHive(std::unique_ptr<reg::Hive> inner) : inner_(std::move(inner)) {}

  // The |n|th value write from now (1 = the next) and all after it fail; 0 = none fail.
  void FailWritesFrom(int n) {
    failFrom_ = n;
    writes_ = 0;
  }
  reg::Hive& inner() { return *inner_; }
  // How many keys were opened (or created) and subkey names read so far.
  int keysOpened() const { return keysOpened_; }
  size_t namesRead() const { return namesRead_; }

  reg::Access GetAccess() const override { return inner_->GetAccess(); }

  reg::Status CreateKey(reg::Key p, std::u16string_view s, reg::Key* o) override {
    ++keysOpened_;
    return inner_->CreateKey(p, s, o);
  }
  reg::Status OpenKey(reg::Key p, std::u16string_view s, reg::Key* o) override {
    ++keysOpened_;
    return inner_->OpenKey(p, s, o);
  }
  reg::Status CloseKey(reg::Key k) override { return inner_->CloseKey(k); }
  reg::Status EnumKey(reg::Key k, uint32_t i, char16_t* n, uint32_t* c) override {
    ++namesRead_;
    return inner_->EnumKey(k, i, n, c);
  }
  reg::Status EnumValue(reg::Key k, uint32_t i, std::u16string* n, uint32_t* t, std::string* d) override {
    return inner_->EnumValue(k, i, n, t, d);
  }
  reg::Status EnumKeys(reg::Key k, uint32_t f, uint32_t l, std::vector<std::u16string>* n) override {
    const reg::Status s = inner_->EnumKeys(k, f, l, n);
    if (n) namesRead_ += n->size();
    return s;
  }
  reg::Status EnumValues(reg::Key k, std::vector<reg::ValueEntry>* v) override { return inner_->EnumValues(k, v); }
  reg::Status QueryValue(reg::Key k, std::u16string_view n, uint32_t* t, uint8_t* d, uint32_t* b) override {
    return inner_->QueryValue(k, n, t, d, b);
  }
  reg::Status SetValue(reg::Key k, std::u16string_view n, uint32_t t, const uint8_t* d, uint32_t b) override {
    if (failFrom_ > 0 && ++writes_ >= failFrom_) return reg::kIoError;
    return inner_->SetValue(k, n, t, d, b);
  }
  reg::Status DeleteValue(reg::Key k, std::u16string_view n) override { return inner_->DeleteValue(k, n); }
  reg::Status DeleteKey(reg::Key p, std::u16string_view s) override { return inner_->DeleteKey(p, s); }
  reg::Status Begin() override { return inner_->Begin(); }
  reg::Status BeginRead() override { return inner_->BeginRead(); }
  reg::Status Commit() override { return inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }

 private:
  std::unique_ptr<reg::Hive> inner_;
  int failFrom_ = 0;
  int writes_ = 0;
  int keysOpened_ = 0;
  size_t namesRead_ = 0;
};

}  // namespace orvane::testing
