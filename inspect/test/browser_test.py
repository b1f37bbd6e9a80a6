#!/usr/bin/env python3
"""The inspector's page in a real headless Chromium (through chromedriver):
against a host holding three calls it must list them, show values and
toggles, plot a picked field, show a hostile value as text, and offer a
configuration document that `ostrel check --strict` accepts. Saves a
screenshot. Exits 77 (skipped) when Chromium, chromedriver or Selenium is
missing."""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import time

SKIP = 77
HOSTILE = "<img src=x onerror=alert(1)>"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--ostrel", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver_path = shutil.which("chromedriver")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import WebDriverWait
    except ImportError:
        chromium = None
    if not chromium or not driver_path:
        print("skipped: needs chromium, chromium-driver and python3-selenium")
        return SKIP

    os.makedirs(args.out, exist_ok=True)
    downloads = os.path.join(args.out, "downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)

    host = subprocess.Popen([args.host], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    driver = None
    try:
        line = host.stdout.readline().split()
        assert line and line[0] == "URL", "the host printed no URL"
        url = line[1]

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
        wait = WebDriverWait(driver, 10)
        driver.get(url)

        # The call list shows the three calls.
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#calls li")) == 3)
        ids = [li.get_attribute("data-call-id")
               for li in driver.find_elements(By.CSS_SELECTOR, "#calls li")]
        assert ids == ["101", "102", "103"], ids
        # The filter narrows it.
        driver.find_element(By.ID, "call-filter").send_keys("102")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#calls li")) == 1)
        driver.find_element(By.ID, "call-filter").clear()
        driver.execute_script(
            "document.getElementById('call-filter').dispatchEvent(new Event('input'))")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#calls li")) == 3)

        # Values and toggles of one call.
        driver.find_element(By.CSS_SELECTOR, '#calls li[data-call-id="102"]').click()
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, 'tr[data-name="MaxFps"]'))
        row = driver.find_element(By.CSS_SELECTOR, 'tr[data-name="MaxFps"]')
        assert "30" in row.text, row.text
        relay = driver.find_element(By.CSS_SELECTOR, 'tr[data-name="EnableRelayMode"]')
        assert relay.find_elements(By.CSS_SELECTOR, ".toggle-on"), relay.text
        assert driver.find_elements(By.CSS_SELECTOR, ".toggle-off"), "no toggle off"

        # The hostile value is text: its characters are shown, no element made.
        label = driver.find_element(By.CSS_SELECTOR, 'tr[data-name="Label"] td.value')
        assert label.text == HOSTILE, label.text
        assert not driver.find_elements(By.CSS_SELECTOR, "#values img")
        assert driver.execute_script("return document.images.length") == 0

        # A picked field (named by the host) gains points in the plot
        # within 3 s.
        picked = 'input[data-field="audio:packetsSent"]'
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, picked))
        driver.find_element(By.CSS_SELECTOR, picked).click()
        plot = driver.find_element(By.ID, "plot")
        start = int(plot.get_attribute("data-points"))
        WebDriverWait(driver, 3).until(
            lambda d: int(plot.get_attribute("data-points")) >= start + 2)

        # The configuration document downloads and passes the strict check.
        driver.find_element(By.ID, "download-config").click()
        deadline = time.time() + 10
        files = []
        while time.time() < deadline:
            files = [f for f in glob.glob(os.path.join(downloads, "*.json"))]
            if files:
                break
            time.sleep(0.1)
        assert files, "the document was not downloaded"
        time.sleep(0.2)
        check = subprocess.run([args.ostrel, "check", "--strict", files[0]],
                               capture_output=True, text=True)
        assert check.returncode == 0, check.stdout + check.stderr

        time.sleep(1.5)  # a few more points in the plot for the picture
        shot = os.path.join(args.out, "inspector.png")
        driver.save_screenshot(shot)
        print("screenshot:", shot)
        return 0
    finally:
        if driver is not None:
            driver.quit()
        host.stdin.close()
        host.wait(timeout=30)


if __name__ == "__main__":
    sys.exit(main())
