// Test fixture: a fresh database folder made by CreateAllTables in a temporary directory,
// with a database handle bound to it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/dbcall/velodbsys.h"

class DbFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velodbcall-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
        ASSERT_EQ(CreateAllTables(m_folder), recman::kOk);
        ASSERT_TRUE(m_db.Open(m_folder));
    }

    void TearDown() override {
        recman::Shutdown();
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }

    std::string m_folder;
    CVeloDBSys m_db;
};
