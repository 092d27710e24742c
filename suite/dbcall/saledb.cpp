// Sales and sale lines; booking a collected fee.
#include "suite/dbcall/saledb.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr char kHighestSaleNo[] = "9999999999999";
constexpr char kFirstLineNo[] = "001";
}  // namespace

CSaleItemDB::CSaleItemDB(const char*) : CTableDB("SALEITEM.BTR") {}

int CSaleItemDB::GetSaleItemData(const char* saleNo, const char* lineNo) {
    return GetEqualByParts(kKeySaleLine,
                           {{saleNo, sizeof m_Data.SaleNo}, {lineNo, sizeof m_Data.LineNo}});
}

CSaleDB::CSaleDB(const char*) : CTableDB("SALE.BTR") {}

int CSaleDB::GetSaleData(const char* saleNo) {
    return GetEqualByParts(kKeySaleNo, {{saleNo, sizeof m_Data.SaleNo}});
}

void CSaleDB::SetKeyOnHighestSaleNo() {
    SetKey(kKeySaleNo);
    char key[sizeof m_Data.SaleNo] = {};
    std::memcpy(key, kHighestSaleNo, sizeof kHighestSaleNo - 1);
    SetKeyBuffer(key, sizeof key);
}

int CSaleDB::AskAheadForNextSaleNo() {
    SetKeyOnHighestSaleNo();
    return AskAhead(recman::kOpGetLessOrEqual, 1);
}

int CSaleDB::NextSaleNo(std::string* saleNo) {
    SetKeyOnHighestSaleNo();
    long long next = 1;
    const int status = GetLEEQ();
    if (status == recman::kOk) {
        next = std::atoll(m_Data.SaleNo) + 1;
    } else if (status != recman::kKeyNotFound && status != recman::kEndOfFile) {
        return status;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%013lld", next);
    if (std::strlen(text) >= sizeof m_Data.SaleNo) {
        return Finish(recman::kDuplicateKey);  // the number range is used up
    }
    *saleNo = text;
    return Finish(recman::kOk);
}

int CSaleDB::InsertAdjustFee(std::string* saleNoOut, const tagSALEITEM& line, CSaleItemDB& lines) {
    if (!IsOpen() || !lines.IsOpen()) {
        return Finish(recman::kFileNotOpen);
    }
    const bool own = !InTransaction();
    if (own) {
        const int status = BeginTran();
        if (status != recman::kOk) {
            return Finish(status);
        }
    }
    // Finding the highest number reads into the record buffer; keep the prepared sale.
    const tagSALEDB sale = m_Data;
    std::string saleNo;
    int status = NextSaleNo(&saleNo);
    m_Data = sale;
    if (status == recman::kOk) {
        SetField(m_Data.SaleNo, saleNo.c_str());
        if (m_Data.SaleDate[0] == '\0') {
            std::memcpy(m_Data.SaleDate, line.SaleDate, sizeof m_Data.SaleDate);
            m_Data.SaleDate[sizeof m_Data.SaleDate - 1] = '\0';
        }
        status = Insert();
    }
    if (status == recman::kOk) {
        lines.m_Data = line;
        SetField(lines.m_Data.SaleNo, saleNo.c_str());
        SetField(lines.m_Data.LineNo, kFirstLineNo);
        std::memcpy(lines.m_Data.PatientID, m_Data.PatientID, sizeof m_Data.PatientID);
        if (lines.m_Data.SaleDate[0] == '\0') {
            std::memcpy(lines.m_Data.SaleDate, m_Data.SaleDate, sizeof m_Data.SaleDate);
        }
        status = lines.Insert();
    }
    if (own) {
        if (status == recman::kOk) {
            status = EndTran();
        }
        if (status != recman::kOk) {
            AbortTran();
        }
    }
    if (status == recman::kOk && saleNoOut != nullptr) {
        *saleNoOut = saleNo;
    }
    return Finish(status);
}
