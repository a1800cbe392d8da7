// The real executable against the stand-in services on a port of the test's own, and what they
// recorded of the run.
#pragma once

#include <rapidjson/document.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "standin/services/services.h"
#include "tests/app/installer_process.h"

class InstallerAgainstServices : public InstallerProcess {
 protected:
  explicit InstallerAgainstServices(standin::Options options = {}) : services_(std::move(options)) {}

  void SetUp() override {
    InstallerProcess::SetUp();
    ASSERT_GT(services_.start(), 0);
    extraEnv_.push_back("TARNWICK_SERVICES=127.0.0.1:" + std::to_string(services_.port()));
  }
  void TearDown() override {
    services_.stop();
    InstallerProcess::TearDown();
  }

  // Event keys of accepted collection batches and names of accepted analytics events.
  std::vector<std::string> collectionEvents() {
    std::vector<std::string> keys;
    for (const auto& post : services_.posts()) {
      if (post.path != "/collection/biz/upload" || !post.accepted) continue;
      rapidjson::Document batch;
      if (batch.Parse(post.body.c_str()).HasParseError() || !batch.IsArray()) continue;
      for (const auto& event : batch.GetArray()) keys.push_back(event["eventKey"].GetString());
    }
    return keys;
  }
  std::vector<std::string> analyticsEvents() {
    std::vector<std::string> names;
    for (const auto& post : services_.posts()) {
      if (post.path != "/mp/collect" || !post.accepted) continue;
      rapidjson::Document body;
      if (body.Parse(post.body.c_str()).HasParseError()) continue;
      names.push_back(std::string(body["events"][0]["name"].GetString()) + ":" +
                      body["events"][0]["params"]["event_label"].GetString());
    }
    return names;
  }

  // The "role" of every record the stand-in programs wrote to the world's record file, in order.
  std::vector<std::string> recordedRoles() const {
    std::vector<std::string> roles;
    std::ifstream in(world_ / "standin-record.jsonl");
    for (std::string line; std::getline(in, line);) {
      rapidjson::Document record;
      if (!record.Parse(line.c_str()).HasParseError() && record.HasMember("role")) {
        roles.push_back(record["role"].GetString());
      }
    }
    return roles;
  }

  standin::Services services_;
};
