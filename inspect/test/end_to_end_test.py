#!/usr/bin/env python3
"""The inspector end to end against inspect_test_host: in headless Chromium
(browser) or scraped for promtool (metrics). Exits 77 when a tool is missing."""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import time
import urllib.request

SKIP = 77
HOSTILE = "<img src=x onerror=alert(1)>"


def browser(url, args):
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_path = shutil.which("chromedriver")
    try:
        from selenium import webdriver
        from selenium.common.exceptions import StaleElementReferenceException
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import WebDriverWait
    except ImportError:
        chromium = None
    if not chromium or not driver_path:
        print("skipped: needs chromium, chromium-driver and python3-selenium")
        return SKIP
    downloads = os.path.join(args.out, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu",
                 "--disable-dev-shm-usage", "--window-size=1400,1000"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {
        "download.default_directory": downloads,
        "download.prompt_for_download": False,
    })
    driver = webdriver.Chrome(service=Service(driver_path), options=options)
    try:
        # The page redraws its tables every 2 s: found elements may go stale.
        wait = WebDriverWait(driver, 10,
                             ignored_exceptions=[StaleElementReferenceException])
        find, find_all = driver.find_element, driver.find_elements
        driver.get(url)

        def listed(count):
            wait.until(lambda d: len(find_all(By.CSS_SELECTOR, "#calls li")) == count)

        listed(3)
        find(By.ID, "call-filter").send_keys("102")
        listed(1)

        find(By.CSS_SELECTOR, '#calls li[data-call-id="102"]').click()
        wait.until(lambda d: find_all(
            By.CSS_SELECTOR, 'tr[data-name="EnableRelayMode"] .toggle-on'))
        # The hostile value's characters are shown; no element is made.
        wait.until(lambda d: find(
            By.CSS_SELECTOR, 'tr[data-name="Label"] td.value').text == HOSTILE)
        assert driver.execute_script("return document.images.length") == 0

        # A field the host named gains points in the plot within 3 s.
        picked = 'input[data-field="audio:packetsSent"]'
        wait.until(lambda d: find_all(By.CSS_SELECTOR, picked))
        find(By.CSS_SELECTOR, picked).click()
        plot = find(By.ID, "plot")
        start = int(plot.get_attribute("data-points"))
        WebDriverWait(driver, 3).until(
            lambda d: int(plot.get_attribute("data-points")) >= start + 2)

        find(By.ID, "download-config").click()
        WebDriverWait(driver, 10, poll_frequency=0.1).until(
            lambda d: glob.glob(os.path.join(downloads, "*.json")))
        time.sleep(0.2)
        document = glob.glob(os.path.join(downloads, "*.json"))[0]
        check = subprocess.run([args.ostrel, "check", "--strict", document],
                               capture_output=True, text=True)
        assert check.returncode == 0, check.stdout + check.stderr

        shot = os.path.join(args.out, "inspector.png")
        driver.save_screenshot(shot)
        print("screenshot:", shot)  # CI looks for this line
        return 0
    finally:
        driver.quit()


def metrics(url, args):
    promtool = shutil.which("promtool")
    if not promtool:
        print("skipped: needs promtool (Debian package prometheus)")
        return SKIP
    with urllib.request.urlopen(url + "metrics", timeout=10) as answer:
        content_type = answer.headers["Content-Type"]
        assert content_type.startswith("text/plain; version=0.0.4"), content_type
        text = answer.read().decode("utf-8")
    os.makedirs(args.out, exist_ok=True)
    scrape = os.path.join(args.out, "metrics.txt")
    with open(scrape, "w", encoding="utf-8") as f:
        f.write(text)
    check = subprocess.run([promtool, "check", "metrics"], input=text,
                           capture_output=True, text=True)
    assert check.returncode == 0, check.stdout + check.stderr + scrape
    for call in ("101", "102", "103"):
        assert any(f'ostrel_config_sets_total{{call_id="{call}",result="{r}"}}'
                   in text for r in ("ok", "no_observer")), call
        for kind in ("audio", "video", "contentVideo", "contentAudio"):
            needle = f'ostrel_statistic{{call_id="{call}",kind="{kind}"'
            assert needle in text, needle
    print("promtool accepted", len(text.splitlines()), "lines:", scrape)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("check", choices=("browser", "metrics"))
    parser.add_argument("--host", required=True)
    parser.add_argument("--ostrel")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    host = subprocess.Popen([args.host], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    try:
        line = host.stdout.readline().split()
        assert line and line[0] == "URL", "the host printed no URL"
        return (browser if args.check == "browser" else metrics)(line[1], args)
    finally:
        host.stdin.close()
        host.wait(timeout=30)


if __name__ == "__main__":
    sys.exit(main())
