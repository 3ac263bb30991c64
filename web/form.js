// The "New hexagon" part of the page: the model list, the parameter fields
// with the dialog's labels and rules (as tooltips), which fields the model
// reads, and the check's message shown beside the field it is about.
const KEYS = ['N', 'T', 'S', 'q', 'kappa', 'logq_or_K', 'alpha', 'beta'];
const SHAPE = ['N', 'T', 'S'];

// Values to start from when a model is chosen (the user's own values are
// kept for the fields they typed).
const EXAMPLES = {
  1: { q: '0.95', kappa: '2' },
  2: { q: '0.95', logq_or_K: '40' },
  3: { alpha: '0.04', beta: '1.5' },
  4: { logq_or_K: '-300' },
  5: { q: '0.9' },
  6: {},
};

export class HexagonForm {
  constructor(core, onChange) {
    this.core = core;
    this.model = document.getElementById('model');
    this.box = document.getElementById('fields');
    this.general = document.createElement('span');
    this.general.className = 'message';
    this.general.id = 'fields-message';
    this.inputs = {};
    this.messages = {};
    this.typed = {};  // what the user typed in each field, by model parameter
    for (let kind = 1; kind <= 6; ++kind) {
      const option = document.createElement('option');
      option.value = String(kind);
      option.textContent = core.model_name(kind);
      this.model.append(option);
    }
    this.model.value = '6';
    for (const key of KEYS) {
      const div = document.createElement('div');
      div.className = 'field';
      const label = document.createElement('label');
      const name = document.createElement('span');
      const input = document.createElement('input');
      input.id = `field-${key}`;
      const message = document.createElement('span');
      message.className = 'message';
      message.id = `message-${key}`;
      input.setAttribute('aria-describedby', message.id);
      label.append(name, input);
      div.append(label, message);
      this.box.append(div);
      this.inputs[key] = input;
      this.messages[key] = message;
      input.addEventListener('input', () => {
        this.typed[SHAPE.includes(key) ? key : `${this.kind()}:${key}`] = input.value;
        onChange();
      });
    }
    this.box.append(this.general);
    Object.assign(this.typed, { N: '50', T: '100', S: '50' });
    this.model.addEventListener('change', () => {
      this.showModel();
      onChange();
    });
    this.showModel();
  }

  kind() {
    return Number(this.model.value);
  }

  // The labels, rules and enabled fields of the chosen model; each model
  // keeps the parameters typed for it.
  showModel() {
    const kind = this.kind();
    const words = this.core.field_words(kind);
    for (const key of KEYS) {
      const w = words[key];
      const input = this.inputs[key];
      input.previousElementSibling.textContent = w.name;
      input.title = w.rule;
      input.disabled = !w.enabled;
      if (SHAPE.includes(key)) input.value = this.typed[key];
      else input.value = w.enabled ? (this.typed[`${kind}:${key}`] ?? EXAMPLES[kind][key] ?? '') : '';
    }
  }

  // The fields as the check reads them.
  fields() {
    const f = { kind: this.kind() };
    for (const key of KEYS) f[key] = this.inputs[key].disabled ? '' : this.inputs[key].value;
    return f;
  }

  // Checks the fields; shows the message beside the field it names (its
  // second line starts with the field's label), or below the fields.
  check() {
    const kind = this.kind();
    const result = this.core.check_fields(this.fields());
    const words = this.core.field_words(kind);
    let where = null;
    if (!result.ok) {
      const lines = result.message.split('\n');
      const about = lines[lines.length - 1];
      for (const key of KEYS)
        if (about.startsWith(`${words[key].name}:`) || about.startsWith(`${words[key].name} `)) where = key;
    }
    for (const key of KEYS) {
      this.messages[key].textContent = key === where ? result.message : '';
      this.inputs[key].setAttribute('aria-invalid', key === where ? 'true' : 'false');
    }
    this.general.textContent = !result.ok && !where ? result.message : '';
    return result;
  }
}
