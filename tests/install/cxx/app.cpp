// A C++ program using an installed lendrec: records a loan, saves it to a
// record file, loads it back and checks every field; and that APP_RULE, the validation
// rule its build system names ("pattern" or "character"), is the one the
// library applies.
//
//   app RECORD-FILE
//
// Prints "lendrec VERSION RULE: loan saved and loaded" and exits 0, or
// names the first wrong answer and exits 1.
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <lendrec/borrow.h>
#include <lendrec/list.h>
#include <lendrec/lendrec_version.h>
#include <lendrec/serializer.h>

namespace {

struct ListOfLoans {
    void operator()(list_t* list) const { list_delete(list, borrow_deleter); }
};
using Loans = std::unique_ptr<list_t, ListOfLoans>;

int fail(const std::string& what)
{
    std::cerr << "app (C++): " << what << '\n';
    return 1;
}

bool same(const char* text, const char* expected)
{
    return text != nullptr && std::strcmp(text, expected) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return fail("usage: app RECORD-FILE");
    const std::string file = argv[1], rule = APP_RULE;
    if (common_verify_date("00/00/2000") != (rule == "pattern"))
        return fail("the library applies another rule than " + rule);

    Loans out(list_new());
    Borrow loan = borrow_new(4, 2, 7, "01/12/2026", "15/12/2026");
    if (!out || !loan || list_push_back(out.get(), loan) != loan)
        return fail("could not record a loan");
    if (!serializer_save_borrows(file.c_str(), out.get(), 5))
        return fail("could not save the record file");

    Loans in(list_new());
    const size_t next_id = serializer_load_borrows(file.c_str(), in.get());
    auto back = static_cast<Borrow>(list_front(in.get()));
    if (next_id != 5 || list_size(in.get()) != 1 || back == nullptr || borrow_get_id(back) != 4 ||
        borrow_get_user_id(back) != 2 || borrow_get_book_id(back) != 7 ||
        !same(borrow_get_date(back), "01/12/2026") ||
        !same(borrow_get_return_date(back), "15/12/2026") || borrow_has_returned(back))
        return fail("the loan did not come back as saved");
    std::cout << "lendrec " << LENDREC_VERSION_STRING << ' ' << rule << ": loan saved and loaded\n";
    return 0;
}
