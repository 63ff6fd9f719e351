"""Journeys at the web desk, as the staff make them."""
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from conftest import PASSWORDS


def log_in(browser, server, name):
    browser.get(server + "/login")
    browser.find_element(By.ID, "login-name").send_keys(name)
    submit(browser, browser.find_element(By.ID, "login-password"), PASSWORDS[name])
    assert browser.find_element(By.TAG_NAME, "h1").text == "Desk"


def left_behind(field):
    """True once `field` is no longer in the page shown: stale, or, while the
    next page replaces its document, a node Chromium no longer knows."""
    def gone(_):
        try:
            field.is_enabled()
            return False
        except WebDriverException:  # StaleElementReferenceException among them
            return True
    return gone


def submit(browser, field, text):
    """Types `text` and Enter into `field`, and waits for the page that answers."""
    field.send_keys(text, Keys.ENTER)
    WebDriverWait(browser, 10).until(left_behind(field))


def scan(browser, text):
    """Types into the scan box as a barcode scanner does: the text, then Enter."""
    box = browser.find_element(By.ID, "scan")
    WebDriverWait(browser, 5).until(lambda b: b.switch_to.active_element == box,
                                    "the scan box does not have the focus")
    submit(browser, box, text)


def alerts(browser):
    return " ".join(e.text for e in browser.find_elements(By.CSS_SELECTOR, "[role=alert]"))


def notes(browser):
    return " ".join(e.text for e in browser.find_elements(By.CSS_SELECTOR, "[role=status]"))


def test_logging_in_lands_at_the_desk(browser, server):
    log_in(browser, server, "bob")
    assert "bob" in browser.find_element(By.CSS_SELECTOR, "header").text


def test_a_member_and_three_books_one_refused_with_its_reason(browser, server, desk):
    log_in(browser, server, "bob")
    scan(browser, "1")
    assert "Eve Reader" in browser.find_element(By.ID, "member-name").text
    scan(browser, "1")
    scan(browser, "2")
    scan(browser, "3")  # its one copy is out to member 2
    assert "book 3" in alerts(browser) and "shelf" in alerts(browser)
    assert browser.find_element(By.ID, "scan").get_attribute("value") == ""
    loans = browser.find_element(By.CSS_SELECTOR, "table.loans").text
    assert "The Lighthouse" in loans and "River Songs" in loans and "Old Maps" not in loans
    lent = desk.run("user", "show", "1")
    assert "The Lighthouse" in lent and "River Songs" in lent


def test_a_return_goes_to_the_waiting_hold(browser, server, desk):
    log_in(browser, server, "bob")
    submit(browser, browser.find_element(By.ID, "return-book"), "4")
    assert "set aside for hold" in notes(browser)
    assert "waiting" in desk.run("hold", "list", "--book", "4")


def test_renewing_from_the_members_loans(browser, server):
    log_in(browser, server, "bob")
    browser.get(server + "/desk?user=2")
    renew = browser.find_element(By.CSS_SELECTOR, "button[aria-label='Renew loan 1']")
    renew.click()
    WebDriverWait(browser, 10).until(left_behind(renew))
    assert "loan 1 renewed" in notes(browser)


def test_searching_garcia_finds_garcia(browser, server):
    log_in(browser, server, "bob")
    browser.get(server + "/search")
    submit(browser, browser.find_element(By.ID, "q"), "garcia")
    found = browser.find_element(By.CSS_SELECTOR, "table.books").text
    assert "García Márquez" in found and "Night Trains" not in found


def test_an_admin_adds_a_book(browser, server, desk):
    log_in(browser, server, "ann")
    browser.get(server + "/admin")
    fields = {"book-title": "Salt Roads", "book-author": "Hal Ford", "book-genre": "Travel"}
    for field, text in fields.items():
        browser.find_element(By.ID, field).send_keys(text)
    copies = browser.find_element(By.ID, "book-copies")
    copies.clear()
    submit(browser, copies, "2")
    assert not alerts(browser)
    assert "Salt Roads" in desk.run("book", "search", "salt")


def test_desk_staff_cannot_reach_the_admin_page(browser, server):
    log_in(browser, server, "bob")
    assert not browser.find_elements(By.CSS_SELECTOR, "nav a[href='/admin']")
    browser.get(server + "/admin")
    assert "only an admin" in browser.find_element(By.TAG_NAME, "main").text
    assert not browser.find_elements(By.ID, "book-title")


def test_a_form_posted_without_its_token_is_refused(browser, server, desk):
    log_in(browser, server, "bob")
    scan(browser, "1")
    browser.execute_script(
        "document.querySelectorAll('form.scan input[name=csrf]').forEach(e => e.remove())")
    scan(browser, "5")
    assert "token" in browser.find_element(By.TAG_NAME, "main").text
    assert "Cien" not in desk.run("user", "show", "1")
