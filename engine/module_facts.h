#pragma once
// What a format reader says about one module, and nothing more: which blocks it declares
// with which size, which procedures it defines, which data it defines. The recorder turns
// these facts into the model by the model's rules; readers never touch the model.
#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <vector>

namespace quorv {

struct ModuleFacts {
    enum class Kind : std::uint8_t { Declaration, Procedure };
    // A declaration of a block with its size, or a procedure (size unused).
    struct Record {
        std::string_view name;
        std::uint64_t size;
        Kind kind;
    };
    // Data the module defines (initializes): the size when the format gives it exactly,
    // else an upper bound, or 0 when not even that is known.
    struct DefinedData {
        std::string_view name;
        std::uint64_t size = 0;
        bool size_exact = false;
    };

    // Declarations and procedures, in symbol-table order.
    std::vector<Record> records;
    // Defined data, in symbol-table order.
    std::vector<DefinedData> defined_data;
    // The module's string table, which names may point into: the model then shares its bytes.
    std::span<const std::uint8_t> name_source;
    // The reader stopped before the end of the table for lack of memory to note defined
    // data: the records noted so far are recorded, and no initialized mark is made.
    bool marks_dropped = false;
    // A fact could not be noted for lack of memory: the module fails, as when a record
    // cannot be made.
    bool fact_lost = false;

    void clear() {
        records.clear();
        defined_data.clear();
        name_source = {};
        marks_dropped = false;
        fact_lost = false;
    }

    void declare(std::string_view name, std::uint64_t size) { note({name, size, Kind::Declaration}); }
    void define_procedure(std::string_view name) { note({name, 0, Kind::Procedure}); }
    // false when there was no memory for it; the reader decides what that means.
    bool define_data(std::string_view name, std::uint64_t size = 0, bool size_exact = false) {
        try {
            defined_data.push_back(DefinedData{name, size, size_exact});
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

  private:
    void note(const Record& record) {
        try {
            records.push_back(record);
        } catch (const std::bad_alloc&) {
            fact_lost = true;
        }
    }
};

}  // namespace quorv
