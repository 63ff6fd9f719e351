"""The web desk in a real headless Chromium: a library made at the command
line, `lendrec serve` on a free loopback port, and a browser per journey
that leaves a screenshot of how the journey ended.

Run by ctest as:
    PYTHONPATH=tests/web /usr/bin/python3 -m pytest tests/browser --lendrec BIN --shots DIR
"""
import os

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service

import serving

PASSWORDS = {"ann": "admin password 1", "bob": "desk password 1"}


def pytest_addoption(parser):
    parser.addoption("--lendrec", required=True, help="the lendrec program")
    parser.addoption("--shots", required=True, help="where the screenshots go")


class Desk:
    """The command line over the journeys' library."""

    def __init__(self, binary, folder):
        self.command = [binary, "-C", folder]

    def run(self, *args):
        """The output of a command that must succeed."""
        done = serving.run(self.command, *args, env=dict(os.environ, LENDREC_CLERK="setup"))
        assert done.returncode == 0, (args, done.stdout, done.stderr)
        return done.stdout


# Books: 1-3 one copy each, 4 one copy (out to member 2, held by member 3),
# 5 by García; members 1-3.
SETUP = [
    ("book", "add", "The Lighthouse", "Ada Stone", "Novel"),
    ("book", "add", "River Songs", "Ben Hill", "Poetry"),
    ("book", "add", "Old Maps", "Cy Moor", "History"),
    ("book", "add", "Night Trains", "Di Vale", "Travel"),
    ("book", "add", "Cien años de soledad", "Gabriel García Márquez", "Novel"),
    ("user", "add", "Eve Reader", "1 Mill Lane", "+44 20 111 22 33"),
    ("user", "add", "Fay Reader", "2 Mill Lane", "+44 20 111 22 34"),
    ("user", "add", "Gil Reader", "3 Mill Lane", "+44 20 111 22 35"),
    ("checkout", "3", "2"),
    ("checkout", "4", "2"),
    ("hold", "place", "4", "3"),
]


@pytest.fixture
def desk(request, tmp_path):
    folder = str(tmp_path / "library")
    made = Desk(request.config.getoption("--lendrec"), folder)
    made.run("init")
    for step in SETUP:
        made.run(*step)
    serving.add_staff(made.command, "ann", "admin", PASSWORDS["ann"])
    serving.add_staff(made.command, "bob", "desk", PASSWORDS["bob"])
    return made


@pytest.fixture
def server(desk):
    with serving.Server(desk.command) as served:
        yield served.url


@pytest.fixture(scope="session")
def chromium():
    """One headless Chromium for every journey: starting it is the slow part."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                 "--window-size=1280,800", "--disable-gpu"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.implicitly_wait(5)
    yield driver
    driver.quit()


@pytest.fixture
def browser(request, chromium):
    """The browser with no session of an earlier journey; the page it ends
    on is kept as a screenshot named after the journey."""
    chromium.delete_all_cookies()
    yield chromium
    shots = request.config.getoption("--shots")
    os.makedirs(shots, exist_ok=True)
    chromium.save_screenshot(os.path.join(shots, request.node.name + ".png"))
    chromium.delete_all_cookies()
