"""The map page in a real browser: headless Chromium plans the demo route through the
form, as a person would, against the service on 127.0.0.1."""
import os
import shutil
import sys
import time

import pytest

pytest.importorskip("fastapi")
webdriver = pytest.importorskip("selenium.webdriver")

from selenium.webdriver.chrome.options import Options  # noqa: E402
from selenium.webdriver.chrome.service import Service as DriverService  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

from service_host import ROOT, Service, get_json, plan_url  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "tools"))
import gen_navdb  # noqa: E402

pytestmark = [pytest.mark.service, pytest.mark.fork]

BROWSER = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
WAIT = 60  # seconds; a guard, the page normally settles within a second or two


@pytest.fixture(scope="module")
def demo(tmp_path_factory):
    path = tmp_path_factory.mktemp("navdb") / "demo.db"
    pair = tuple(gen_navdb.generate(str(path), "demo")["demo_pair"])
    with Service("--db", str(path)) as running:
        yield running.url, pair


@pytest.fixture(scope="module")
def browser():
    if not (BROWSER and DRIVER):
        pytest.skip("chromium and chromium-driver are not installed (make deps installs them)")
    options = Options()
    options.binary_location = BROWSER
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1400,900"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=DriverService(executable_path=DRIVER), options=options)
    driver.set_page_load_timeout(WAIT)
    try:
        yield driver
    finally:
        driver.quit()


def plan_through_the_form(driver, fields):
    for name, value in fields.items():
        box = driver.find_element(By.NAME, name)
        if not box.is_displayed():
            driver.find_element(By.TAG_NAME, "summary").click()
        box.clear()
        box.send_keys(value)
    driver.find_element(By.ID, "plan-button").click()
    WebDriverWait(driver, WAIT).until(
        lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state")
        in ("planned", "failed"))
    assert driver.find_element(By.TAG_NAME, "body").get_attribute("data-state") == "planned", \
        driver.find_element(By.ID, "message").text


def network_around_route(driver):
    """Whether the airway layer shown covers every waypoint of the best route."""
    return driver.execute_script("""
        const box = coreCalc.networkBox, best = coreCalc.best;
        return !!(box && best) && best.getLatLngs().every(p =>
            p.lng >= box[0] && p.lat >= box[1] && p.lng <= box[2] && p.lat <= box[3]);""")


def test_map_page_plans_and_draws_the_demo_route(demo, browser, tmp_path):
    base, (dep, arr) = demo
    browser.get(base + "/")
    plan_through_the_form(browser, {"dep": dep, "arr": arr})
    status, answer, _ = get_json(plan_url(base, dep=dep, arr=arr))
    assert status == 200
    waypoints = len(answer["detailed_waypoints"])
    drawn = browser.execute_script(
        "return [coreCalc.best.getLatLngs().length, "
        "coreCalc.alternatives.map(a => a.getLatLngs().length)]")
    assert drawn == [waypoints, [len(a["detailed_waypoints"]) for a in answer["alternatives"]]]
    assert len(browser.find_elements(By.CSS_SELECTOR, "path.waypoint")) == waypoints
    assert browser.find_element(By.ID, "route-string").text == answer["route_string"]
    runways = browser.find_element(By.ID, "runways").text
    assert answer["runways"]["departure"] in runways and answer["runways"]["arrival"] in runways
    links = [a.get_attribute("href") for a in browser.find_elements(By.CSS_SELECTOR,
                                                                     "#downloads a")]
    assert [link.split("?")[0].rsplit("/", 1)[1] for link in links] == [
        "plan.geojson", "plan.gpx", "plan.fms", "plan.pln", "plan.fpl"]
    WebDriverWait(browser, WAIT).until(network_around_route)
    assert int(browser.find_element(By.TAG_NAME, "body").get_attribute("data-network-legs")) > 0
    time.sleep(0.5)  # the canvas paints after the layer is added
    shot = tmp_path / "route.png"
    assert browser.save_screenshot(str(shot)) and shot.stat().st_size > 10000


def test_map_page_shows_a_forced_star_warning(demo, browser):
    base, (dep, arr) = demo
    browser.get(base + "/")
    plan_through_the_form(browser, {"dep": dep, "arr": arr, "star": "NOSUCH1A"})
    warnings = browser.find_elements(By.CSS_SELECTOR,
                                     '#warnings li[data-code="forced_star_not_found"]')
    assert len(warnings) == 1 and "NOSUCH1A" in warnings[0].text
    points = browser.execute_script("return coreCalc.best.getLatLngs().length")
    answer = get_json(plan_url(base, dep=dep, arr=arr, star="NOSUCH1A"))[1]
    assert points == len(answer["detailed_waypoints"])
