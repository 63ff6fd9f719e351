// The web desk's small helpers: the scan box keeps the focus between scans
// and is cleared once a scan is sent; forms marked data-confirm ask first.
"use strict";
document.addEventListener("DOMContentLoaded", function () {
  var scan = document.getElementById("scan");
  if (scan) {
    scan.focus();
    scan.form.addEventListener("submit", function () {
      // The form's values are taken when it is sent; clear the box after.
      window.setTimeout(function () { scan.value = ""; }, 0);
    });
    window.addEventListener("pageshow", function () { scan.value = ""; scan.focus(); });
    // Typing while nothing else has the focus goes to the scan box.
    document.addEventListener("keydown", function (event) {
      var here = document.activeElement;
      if (here === null || here === document.body) {
        if (event.key.length === 1 && !event.ctrlKey && !event.metaKey && !event.altKey)
          scan.focus();
      }
    });
  }
  document.querySelectorAll("form[data-confirm]").forEach(function (form) {
    form.addEventListener("submit", function (event) {
      if (!window.confirm(form.getAttribute("data-confirm")))
        event.preventDefault();
    });
  });
});
