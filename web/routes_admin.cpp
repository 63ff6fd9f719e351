/*
 * routes_admin.cpp - the admin's routes beyond the add and edit forms:
 * importing a spreadsheet (a dry run first), exporting the records as
 * CSV, checking and repairing the library's files; and the notices as CSV
 * for the desk. Each does what its `lendrec` command does, through the
 * same engine calls.
 */
#include <fmt/format.h>

#include "checks.hpp"
#include "export.hpp"
#include "history_checks.hpp"
#include "import.hpp"
#include "notices.hpp"
#include "page_visit.hpp"
#include "text.hpp"

namespace web {

namespace {

namespace pages = desk::web;

/* Answers `body` as the CSV file `name`, for the browser to save. */
void send_csv(httplib::Response& res, const std::string& name, const std::string& body)
{
    res.status = 200;
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content(body, "text/csv; charset=utf-8");
}

/* What a check or repair found, mended and left, told on `frame`. */
void tell(pages::Frame& frame, const desk::CheckReport& report)
{
    for (const desk::Finding& finding : report.findings)
        frame.errors.push_back(finding.message);
    for (const std::string& change : report.repaired)
        frame.notes.push_back("repaired: " + change);
    for (const std::string& why : report.not_repaired)
        frame.errors.push_back("not repaired: " + why);
}

/* The sentence of a sound library. */
std::string consistent(const desk::Library& lib)
{
    using desk::text::counted;
    return fmt::format("the library is consistent: {}, {}, {}",
                       counted(lib.books().all().size(), "book", "books"),
                       counted(lib.users().all().size(), "user", "users"),
                       counted(lib.loans().all().size(), "loan", "loans"));
}

/* The kind a form names: books or users; BadField otherwise. */
desk::ImportKind import_kind(const std::string& name)
{
    if (name == "books")
        return desk::ImportKind::books;
    if (name == "users")
        return desk::ImportKind::users;
    throw BadField{"choose whether the sheet holds books or members"};
}

/* The summary of an import that went in. */
std::string imported(const std::string& sheet_name, const desk::ImportReport& report)
{
    return fmt::format("{} imported: {} added, {} merged, {} updated, {} unchanged, {} changed",
                       sheet_name, report.added, report.merged, report.updated, report.unchanged,
                       report.changed);
}

} // namespace

void admin_import(Visit& visit)
{
    if (!visit.req.has_file("sheet"))
        throw BadField{"choose the CSV file to import"};
    const httplib::MultipartFormData upload = visit.req.get_file_value("sheet");
    const desk::ImportKind kind = import_kind(form_value(visit.req, "kind"));
    const std::string name = upload.filename.empty() ? "the sheet" : upload.filename.substr(0, 100);
    const desk::sheet::Sheet sheet = desk::sheet::parse(upload.content);
    desk::ImportReport report;
    const auto import = [&](desk::Library& lib) {
        report = desk::import_sheet(lib, kind, sheet, name);
    };
    pages::Frame frame = visit.frame();
    if (form_value(visit.req, "commit") != "1") {
        visit.context.desk.rehearse(import);
        return send_html(visit.res, 200, pages::import_preview_page(frame, kind, name, report));
    }
    try {
        visit.context.desk.change(visit.session.name, [&](desk::Library& lib) {
            import(lib);
            desk::refuse_partial_import(report, false, "");
        });
    } catch (const desk::Failure& failure) {
        frame.errors.push_back(failure.what());
        return send_html(visit.res, http_status(failure),
                         pages::import_preview_page(frame, kind, name, report));
    }
    frame.notes.push_back(imported(name, report));
    show_admin(visit, frame);
}

void admin_export(Visit& visit)
{
    const std::string what = visit.req.matches.size() > 1 ? visit.req.matches[1].str() : "";
    const desk::ExportKind kind = what == "books"   ? desk::ExportKind::books
                                  : what == "users" ? desk::ExportKind::users
                                                    : desk::ExportKind::loans;
    std::string body;
    visit.context.desk.read([&](const desk::Library& lib) {
        body = desk::collected(
            [&](desk::TextSink& out) { desk::export_csv(lib, kind, desk::today(), false, out); });
    });
    send_csv(visit.res, what + ".csv", body);
}

void notices_csv_get(Visit& visit)
{
    const std::size_t within = id_field(visit.req, "within").value_or(desk::kDefaultDueWithin);
    std::string body;
    visit.context.desk.read([&](const desk::Library& lib) {
        const std::vector<desk::Notice> list = desk::notices(lib, desk::today(), within);
        body = desk::collected([&](desk::TextSink& out) { desk::notices_csv(lib, list, out); });
    });
    send_csv(visit.res, "notices.csv", body);
}

void admin_check(Visit& visit)
{
    pages::Frame frame = visit.frame();
    visit.context.desk.read_with_history([&](const desk::Library& lib) {
        const desk::CheckReport report = desk::check_with_history(lib);
        tell(frame, report);
        if (report.ok())
            frame.notes.push_back(consistent(lib));
    });
    show_admin(visit, frame);
}

void admin_repair(Visit& visit)
{
    pages::Frame frame = visit.frame();
    const desk::CheckReport report = visit.context.desk.repair(visit.session.name);
    tell(frame, report);
    if (report.ok() && report.repaired.empty())
        frame.notes.push_back("nothing needed repair");
    show_admin(visit, frame);
}

} // namespace web
