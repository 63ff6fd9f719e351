/*
 * web_desk.cpp - the library kept in memory between the web desk's
 * requests.
 */
#include "web_desk.hpp"

#include "checks.hpp"
#include "failure.hpp"
#include "fileset.hpp"
#include "folder_store.hpp"

namespace web {

WebDesk::WebDesk(std::string folder, unsigned lock_timeout_seconds)
    : folder_(std::move(folder)), lock_timeout_(lock_timeout_seconds)
{}

void WebDesk::load_if_changed()
{
    if (lib_ && !lib_->signature().empty() &&
        lib_->signature() == desk::fileset::signature(folder_))
        return;
    lib_.reset();
    lib_ = desk::Library::open(desk::open_folder_store(folder_, desk::Access::read, lock_timeout_));
    lib_->close_store();
}

void WebDesk::read(const std::function<void(const desk::Library&)>& look)
{
    std::lock_guard<std::mutex> hold(mutex_);
    load_if_changed();
    look(*lib_);
}

void WebDesk::read_with_history(const std::function<void(const desk::Library&)>& look)
{
    std::lock_guard<std::mutex> hold(mutex_);
    auto store = desk::open_folder_store(folder_, desk::Access::read, lock_timeout_);
    if (lib_ && !lib_->signature().empty() && store->signature() == lib_->signature()) {
        lib_->attach_store(std::move(store));
    } else {
        lib_.reset();
        lib_ = desk::Library::open(std::move(store), desk::Kinds::all().with_history());
    }
    /* The store goes again however `look` ends: read() wants it closed. */
    struct Closer {
        desk::Library& lib;
        ~Closer() { lib.close_store(); }
    } closer{*lib_};
    look(*lib_);
}

std::vector<std::string> WebDesk::change(const std::string& clerk,
                                         const std::function<void(desk::Library&)>& change)
{
    std::lock_guard<std::mutex> hold(mutex_);
    try {
        auto store = desk::open_folder_store(folder_, desk::Access::change, lock_timeout_);
        if (lib_ && !lib_->signature().empty() && store->signature() == lib_->signature())
            lib_->attach_store(std::move(store));
        else
            lib_ = desk::Library::open(std::move(store));
        lib_->set_clerk(clerk);
        desk::refuse_unless_sound(*lib_);
        change(*lib_);
        std::vector<std::string> warnings = desk::commit_unless_unread(*lib_);
        lib_->close_store();
        return warnings;
    } catch (const desk::Failure&) {
        keep_unless_changed();
        throw;
    } catch (...) {
        lib_.reset();
        throw;
    }
}

void WebDesk::keep_unless_changed()
{
    if (lib_ && !lib_->changed())
        lib_->close_store();
    else
        lib_.reset();
}

void WebDesk::rehearse(const std::function<void(desk::Library&)>& change)
{
    auto lib =
        desk::Library::open(desk::open_folder_store(folder_, desk::Access::read, lock_timeout_));
    lib->close_store();
    change(*lib);
}

desk::CheckReport WebDesk::repair(const std::string& clerk)
{
    std::lock_guard<std::mutex> hold(mutex_);
    lib_.reset(); /* the repair reads the folder whole, history and all */
    auto lib =
        desk::Library::open(desk::open_folder_store(folder_, desk::Access::change, lock_timeout_),
                            desk::Kinds::all().with_history());
    lib->set_clerk(clerk);
    desk::CheckReport report = desk::repair_library(*lib);
    if (!report.repaired.empty())
        desk::commit_unless_unread(*lib);
    return report;
}

std::optional<desk::StaffAccount> WebDesk::check_login(std::string_view name,
                                                       std::string_view password)
{
    auto store = desk::open_folder_store(folder_, desk::Access::read, lock_timeout_);
    return desk::check_login(*store, name, password);
}

std::vector<desk::StaffAccount> WebDesk::staff()
{
    auto store = desk::open_folder_store(folder_, desk::Access::read, lock_timeout_);
    return desk::list_staff(*store);
}

} // namespace web
